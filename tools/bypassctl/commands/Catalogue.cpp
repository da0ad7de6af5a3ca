// list and identify: the board catalogue, and which of its rows this board
// is.
#include "board/BoardChoice.h"
#include "board/KernelModules.h"
#include "cli/Command.h"
#include "platform/TextConv.h"

#include "framework/BypassInfo.h"
#include "framework/ToolFactory.h"

#include <cstdio>

namespace bypassctl {

void ListBoards(Context& context)
{
    Report& report = context.report;
    // A board named here is not used, but a wrong one is still an error.
    ChooseBoard(context.options);
    Json boards = Json::array();
    report.Say("type  product          extra  model          description");
    for (int i = 0; i < g_bypass_info_count; ++i) {
        const bypass_info& row = g_bypass_info_array[i];
        const std::string model = GbkToUtf8(row.model_label);
        const std::string description = GbkToUtf8(row.description);
        boards.push_back({{"type", row.type}, {"product", row.board_name},
            {"description", description}, {"model", model}, {"extra1", row.extra1},
            {"extra2", row.extra2},
            {"tool", row.type < 0 ? Json(nullptr) : Json(bypass::BypassToolClassName(row.type))}});
        char head[64];
        std::snprintf(head, sizeof head, "%-5d %-16s %d,%d    ", row.type, row.board_name,
            row.extra1, row.extra2);
        const std::size_t width = DisplayWidth(model);
        report.Say(head + model + std::string(width < 15 ? 15 - width : 1, ' ') + description);
    }
    report.Set("boards", boards);
}

void IdentifyBoard(Context& context)
{
    Report& report = context.report;
    const Board board = ChooseBoard(context.options);
    const std::string product = ReportedProduct();
    const int type = board.type != kIdentify ? board.type : GetHostBypassType();
    const bool known = type >= 0;
    report.Set("product", product);
    report.Set("simulated", board.simulator != nullptr);
    report.Set("type", known ? Json(type) : Json(nullptr));
    report.Set("description", known ? Json(Description(type)) : Json(nullptr));
    report.Set("tool", bypass::BypassToolClassName(type));
    report.Say("product: \"" + product + "\"" + (board.simulator ? " (simulated)" : ""));
    report.Say(known ? "type: " + std::to_string(type) + ", " + Description(type) : "type: none");
    report.Say(std::string("tool: ") + bypass::BypassToolClassName(type));
    // identify opens no port: it tells the path an opening would take.
    const std::string path = PortPathText(context.options, board, false);
    report.Set("port_path", path);
    report.Say("port path: " + path);
    // Only a real machine has kernel drivers in the way.
    if (!board.simulator)
        WarnAboutKernelWatchdogs(context);
    if (!known)
        throw CommandError{kExitUnsupported, UnknownBoardText(product)};
}

} // namespace bypassctl
