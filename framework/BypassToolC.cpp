#include "framework/BypassToolC.h"

#include "framework/BypassToolManager.h"
#include "portio/TraceBackend.h"

#include <cstring>
#include <new>
#include <string>

struct bypass_tool {
    // GetBypassTool is not const, but reading the tool changes nothing.
    mutable CBypassToolManager manager;
};

namespace {

bypass::TraceBackend g_recorder;

CBypassTool& Tool(const bypass_tool* tool) { return *tool->manager.GetBypassTool(); }

size_t CopyOut(const std::string& text, char* buffer, size_t size)
{
    if (size > 0) {
        const size_t length = text.size() < size ? text.size() : size - 1;
        std::memcpy(buffer, text.data(), length);
        buffer[length] = '\0';
    }
    return text.size();
}

} // namespace

extern "C" {

bypass_tool* bypass_tool_create(int type)
{
    // Nothing may be thrown across the C boundary: out of memory, in the
    // allocation or the board query, answers NULL.
    bypass_tool* tool = new (std::nothrow) bypass_tool;
    if (!tool)
        return nullptr;
    try {
        tool->manager.CreateBypassTool(type);
    } catch (...) {
        delete tool;
        return nullptr;
    }
    return tool;
}

void bypass_tool_destroy(bypass_tool* tool) { delete tool; }

int bypass_tool_type(const bypass_tool* tool) { return Tool(tool).GetBypassType(); }
int bypass_tool_timeout_second(const bypass_tool* tool) { return Tool(tool).GetTimeoutSecond(); }

int bypass_tool_init(bypass_tool* tool) { return Tool(tool).init(); }
void bypass_tool_fini(bypass_tool* tool) { Tool(tool).fini(); }
int bypass_tool_disable_wdt(bypass_tool* tool) { return Tool(tool).DisableWDT(); }
int bypass_tool_enable_wdt(bypass_tool* tool) { return Tool(tool).EnableWDT(); }

int bypass_tool_set_wdt_timeout_bypass(bypass_tool* tool, int reserved, int seconds)
{
    return Tool(tool).SetWDTTimeout_Bypass(reserved, seconds);
}

int bypass_tool_set_wdt_timeout_restart_sys(bypass_tool* tool, int reserved, int seconds)
{
    return Tool(tool).SetWDTTimeout_ResartSys(reserved, seconds);
}

int bypass_tool_set_wdt_timeout_bypass_again(bypass_tool* tool, int reserved)
{
    return Tool(tool).SetWDTTimeout_Bypass_Again(reserved);
}

int bypass_tool_set_wdt_timeout_restart_sys_again(bypass_tool* tool, int reserved)
{
    return Tool(tool).SetWDTTimeout_ResartSys_Again(reserved);
}

int bypass_tool_enable_bypass(bypass_tool* tool) { return Tool(tool).EnableBypass(); }
int bypass_tool_disable_bypass(bypass_tool* tool) { return Tool(tool).DisableBypass(); }
int bypass_tool_is_support_wdt(bypass_tool* tool) { return Tool(tool).IsSupportWDT(); }

size_t bypass_tool_get_cur_desc(bypass_tool* tool, char* buffer, size_t size)
{
    // The boards are not told the buffer's size; theirs is at most 24 bytes.
    char description[256] = {};
    Tool(tool).GetCurDesc(description);
    return CopyOut(description, buffer, size);
}

int bypass_catalogue_count(void) { return g_bypass_info_count; }

const struct bypass_info* bypass_catalogue_row(int index)
{
    if (index < 0 || index >= g_bypass_info_count || index >= BYPASS_INFO_ROWS)
        return nullptr;
    return &g_bypass_info_array[index];
}

void bypass_record_ports(int enable)
{
    g_recorder.ClearTrace();
    bypass::SetPortBackend(enable ? &g_recorder : nullptr);
}

size_t bypass_take_port_trace(char* buffer, size_t size)
{
    const size_t length = CopyOut(g_recorder.Text(), buffer, size);
    g_recorder.ClearTrace();
    return length;
}

} // extern "C"
