/* The library for C, Python (ctypes), C# and other hosts that cannot use
 * the C++ classes: plain C names, no C++ types, nothing thrown.
 *
 * A bypass_tool is one board tool with its own manager. All tools share one
 * port driver handle, so a host keeps one tool at a time, as with
 * CBypassToolManager. Results are those of the C++ operations: mostly 0, -1
 * for a refused argument or a missing controller. */
#ifndef BYPASSTOOL_C_H
#define BYPASSTOOL_C_H

#include "framework/BypassInfo.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct bypass_tool bypass_tool;

/* Creates and inits the tool for type (-1 identifies the board; an unknown
 * type gives the null tool, type 0). NULL only when memory ran out. */
BYPASSTOOL_API bypass_tool* bypass_tool_create(int type);
/* Runs the tool's fini and destroys it; NULL is ignored. */
BYPASSTOOL_API void bypass_tool_destroy(bypass_tool* tool);

BYPASSTOOL_API int bypass_tool_type(const bypass_tool* tool);
BYPASSTOOL_API int bypass_tool_timeout_second(const bypass_tool* tool);

/* The thirteen operations of CBypassTool, in its slot order; destroy plays
 * the destructor. */
BYPASSTOOL_API int bypass_tool_init(bypass_tool* tool);
BYPASSTOOL_API void bypass_tool_fini(bypass_tool* tool);
BYPASSTOOL_API int bypass_tool_disable_wdt(bypass_tool* tool);
BYPASSTOOL_API int bypass_tool_enable_wdt(bypass_tool* tool);
BYPASSTOOL_API int bypass_tool_set_wdt_timeout_bypass(bypass_tool* tool, int reserved, int seconds);
BYPASSTOOL_API int bypass_tool_set_wdt_timeout_restart_sys(
    bypass_tool* tool, int reserved, int seconds);
BYPASSTOOL_API int bypass_tool_set_wdt_timeout_bypass_again(bypass_tool* tool, int reserved);
BYPASSTOOL_API int bypass_tool_set_wdt_timeout_restart_sys_again(bypass_tool* tool, int reserved);
BYPASSTOOL_API int bypass_tool_enable_bypass(bypass_tool* tool);
BYPASSTOOL_API int bypass_tool_disable_bypass(bypass_tool* tool);
BYPASSTOOL_API int bypass_tool_is_support_wdt(bypass_tool* tool);
/* Copies the board's description of its state into buffer (size bytes,
 * always terminated when size > 0) and answers the description's full
 * length: 0 for the boards that write none. */
BYPASSTOOL_API size_t bypass_tool_get_cur_desc(bypass_tool* tool, char* buffer, size_t size);

/* The catalogue rows, 0 to bypass_catalogue_count() - 1; NULL outside. */
BYPASSTOOL_API int bypass_catalogue_count(void);
BYPASSTOOL_API const struct bypass_info* bypass_catalogue_row(int index);

/* Rehearsal without hardware: with enable non-zero, tools created from
 * then on talk to a recorder instead of the ports (reads answer all ones),
 * until it is called with 0. */
BYPASSTOOL_API void bypass_record_ports(int enable);
/* Copies the recorded port traffic, one access per line (out8 4E 87,
 * in8 4F -> FF, sleep 150), into buffer as bypass_tool_get_cur_desc does,
 * answers its full length, and starts the recording afresh. */
BYPASSTOOL_API size_t bypass_take_port_trace(char* buffer, size_t size);

#ifdef __cplusplus
}
#endif

#endif
