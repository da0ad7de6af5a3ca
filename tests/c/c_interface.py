"""The C interface loads into a Python host through ctypes and answers a call."""
import ctypes
import sys

lib = ctypes.CDLL(sys.argv[1])
lib.bypass_catalogue_row.restype = ctypes.c_void_p
rows = lib.bypass_catalogue_count()
assert rows > 0 and lib.bypass_catalogue_row(rows - 1) and not lib.bypass_catalogue_row(rows)
print("C interface through ctypes: ok")
