// A host program that lists the board catalogue, then creates the tool for
// every type against the recording backend and prints the port traffic of
// creating it and of switching its bypass on and off. Nothing touches real
// ports.
#include "framework/BypassInfo.h"
#include "framework/BypassToolManager.h"
#include "framework/ToolFactory.h"
#include "portio/TraceBackend.h"

#include <cstdio>

int main()
{
    std::printf("%-6s %-16s %-8s %s\n", "type", "product", "model", "extra");
    for (int i = 0; i < g_bypass_info_count; ++i) {
        const bypass_info& row = g_bypass_info_array[i];
        std::printf("%-6d %-16s %-8s %d,%d\n", row.type, row.board_name, row.model_label,
            row.extra1, row.extra2);
    }

    bypass::TraceBackend recorder;
    bypass::SetPortBackend(&recorder);
    CBypassToolManager manager;
    for (int i = 0; i < g_bypass_info_count; ++i) {
        const int type = g_bypass_info_array[i].type;
        if (type < 0)
            continue;
        recorder.ClearTrace();
        CBypassTool* tool = manager.CreateBypassTool(type);
        tool->EnableBypass();
        tool->DisableBypass();
        std::printf("\ntype %d -> %s (type %d), init + EnableBypass + DisableBypass:\n", type,
            bypass::BypassToolClassName(type), tool->GetBypassType());
        for (const auto& line : recorder.Lines())
            std::printf("  %s\n", line.c_str());
    }
    manager.DestroyBypassTool();
    bypass::SetPortBackend(nullptr);
    return 0;
}
