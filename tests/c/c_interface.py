"""The C interface loads into a Python host through ctypes and answers a call."""
import ctypes
import sys

lib = ctypes.CDLL(sys.argv[1])
assert lib.bypass_catalogue_count() == 16
print("C interface through ctypes: ok")
