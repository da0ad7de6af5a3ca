"""The C interface through Python's ctypes, as a Python host would use it."""
import ctypes
import sys


class BypassInfo(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("board_name", ctypes.c_char * 64),
                ("description", ctypes.c_char * 64), ("model_label", ctypes.c_char * 64),
                ("extra1", ctypes.c_int), ("extra2", ctypes.c_int)]


lib = ctypes.CDLL(sys.argv[1])
lib.bypass_catalogue_row.restype = ctypes.POINTER(BypassInfo)
lib.bypass_tool_create.restype = ctypes.c_void_p
for name in ("bypass_tool_destroy", "bypass_tool_type", "bypass_tool_timeout_second",
             "bypass_tool_set_wdt_timeout_bypass", "bypass_tool_enable_bypass"):
    getattr(lib, name).argtypes = [ctypes.c_void_p] + (
        [ctypes.c_int, ctypes.c_int] if name.endswith("_bypass") and "timeout" in name else [])
lib.bypass_take_port_trace.restype = ctypes.c_size_t
lib.bypass_take_port_trace.argtypes = [ctypes.c_char_p, ctypes.c_size_t]


def take_trace():
    buffer = ctypes.create_string_buffer(1 << 20)
    length = lib.bypass_take_port_trace(buffer, len(buffer))
    assert length == len(buffer.value)
    return buffer.value.decode().splitlines()


assert ctypes.sizeof(BypassInfo) == 204
assert lib.bypass_catalogue_count() == 16
row = lib.bypass_catalogue_row(10).contents
assert (row.type, row.board_name) == (9, b"MS-S0391"), (row.type, row.board_name)
assert row.description.decode("gbk") == "H61-MS(微星)平台"

lib.bypass_record_ports(1)
tool = lib.bypass_tool_create(10)
assert lib.bypass_tool_type(tool) == 10
take_trace()
assert lib.bypass_tool_set_wdt_timeout_bypass(tool, 0, 300) == 0
assert lib.bypass_tool_timeout_second(tool) == 300
trace = take_trace()
# The LANXUS count register gets the low byte of 300 s, and 0 above it.
count = ["out8 2E 73", "out8 2F 2C", "out8 2E 74", "out8 2F 00"]
assert any(trace[i:i + 4] == count for i in range(len(trace))), trace
lib.bypass_tool_destroy(tool)
assert take_trace() == ["close"]
lib.bypass_record_ports(0)
print("C interface through ctypes: ok")
