// The commands that show the catalogue, identify the board, switch its
// bypass and show its status.
#include "Board.h"
#include "BoardSession.h"
#include "Command.h"
#include "TextConv.h"

#include "boards/BoardTable.h"
#include "framework/BypassInfo.h"
#include "framework/ToolFactory.h"

#include <cstdio>
#include <optional>

namespace bypassctl {
namespace {

// The H61-MS board's description, "0xf0=81,0xf5=60,0xf6=5", in words; empty
// for any other text.
std::string DescriptionInWords(const char* description)
{
    unsigned f0 = 0, f5 = 0, f6 = 0;
    char end = 0;
    if (std::sscanf(description, "0xf0=%x,0xf5=%x,0xf6=%x%c", &f0, &f5, &f6, &end) != 3)
        return "";
    const char* routing = (f0 & 0x81) == 0x81 ? "armed (0xF0 bits 7 and 0 set)"
        : (f0 & 0x81) == 0                    ? "not armed (0xF0 bits 7 and 0 clear)"
                                              : "half armed (0xF0 bits 7 and 0 differ)";
    return std::string(routing)
        + ((f5 & 0x20) ? ", watchdog enabled (0xF5 bit 5 set)"
                       : ", watchdog disabled (0xF5 bit 5 clear)")
        + ((f5 & 0x40) ? ", expired (0xF5 bit 6 set)" : ", not expired (0xF5 bit 6 clear)")
        + ", count " + std::to_string(f6) + " (0xF6)";
}

Json Optional(const std::optional<long>& value) { return value ? Json(*value) : Json(nullptr); }

// What the watchdog's chip tells, where the board's row knows how to ask.
std::optional<bypass::WatchdogReadback> ReadBack(BoardSession& session)
{
    const bypass::BoardRow* row = bypass::FindBoard(session.Type());
    if (!row || !row->readWatchdog)
        return std::nullopt;
    bypass::WatchdogReadback chip;
    session.Look([&chip, row] {
        chip = row->readWatchdog();
        return 0;
    });
    return chip;
}

// The time left only where the counter counts down, else the value it was
// programmed with, labelled so.
void ShowReadback(const std::optional<bypass::WatchdogReadback>& readback, Report& report)
{
    if (!readback) {
        report.Set("readback", {{"readable", false}});
        report.Say("read back: not readable on this board");
        return;
    }
    const bypass::WatchdogReadback& chip = *readback;
    report.Set("readback",
        {{"readable", true}, {"enabled", chip.enabled ? Json(*chip.enabled) : Json(nullptr)},
            {"seconds_left", Optional(chip.secondsLeft)},
            {"programmed_seconds", Optional(chip.programmedSeconds)}, {"expired", chip.expired},
            {"seconds_left_unit", chip.secondsLeftUnit},
            {"fires_again_only_once_cleared",
                chip.firesAgainOnlyOnceCleared ? Json(chip.firesAgainOnlyOnceCleared)
                                               : Json(nullptr)}});
    std::string line = "read back:";
    if (chip.enabled)
        line += *chip.enabled ? " enabled," : " not enabled,";
    // A count of whole minutes left tells the time only to within a minute.
    if (chip.secondsLeft)
        line += (chip.secondsLeftUnit > 1 ? " at most " : " ") + std::to_string(*chip.secondsLeft)
            + " s left,";
    if (chip.programmedSeconds)
        line += " programmed " + std::to_string(*chip.programmedSeconds)
            + (*chip.programmedSeconds ? " s (as written; the chip does not tell the time left),"
                                       : " s (stopped),");
    if (!chip.expired)
        line += " not expired";
    else if (chip.firesAgainOnlyOnceCleared)
        line += std::string(" expired, will not fire again until ") + chip.firesAgainOnlyOnceCleared
            + " is cleared";
    else
        line += " expired (the chip's timeout status is set)";
    report.Say(line);
}

} // namespace

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
    // Only a real machine has kernel drivers in the way.
    if (!board.simulator)
        WarnAboutKernelWatchdogs(context);
    if (!known)
        throw CommandError{kExitUnsupported, UnknownBoardText(product)};
}

void SwitchBypass(Context& context)
{
    const bool on = context.options.bypassOn;
    BoardSession session(context);
    context.report.Set("bypass", on ? "on" : "off");
    if (session.Type() == 0)
        throw CommandError{kExitUnsupported, "board type 0 has no bypass hardware"};
    if (on)
        session.Run({"EnableBypass", [](CBypassTool& tool) { return tool.EnableBypass(); }});
    else
        session.Run({"DisableBypass", [](CBypassTool& tool) { return tool.DisableBypass(); }});
    context.report.Say(on ? "bypass on: the ports are joined past this machine"
                          : "bypass off: traffic passes through this machine");
    session.ReportState();
}

void ShowStatus(Context& context)
{
    Report& report = context.report;
    BoardSession session(context);
    // Status only looks: the tool's own init, which stops the watchdog on
    // some boards, does not run, and the chip is read before anything else.
    const std::optional<bypass::WatchdogReadback> readback = ReadBack(session);
    // The buffer is larger than any board's text: the tool is not told its size.
    char description[256] = {};
    session.Look([&session, &description] {
        session.Tool().GetCurDesc(description);
        return 0;
    });
    CBypassTool& tool = session.Tool();
    const bool watchdog = tool.IsSupportWDT() != 0;
    const int seconds = tool.GetTimeoutSecond();
    report.Set("watchdog_supported", watchdog);
    report.Set("timeout_seconds", seconds);
    report.Set("description", description[0] ? Json(description) : Json(nullptr));
    const std::string words = DescriptionInWords(description);
    report.Set("description_words", words.empty() ? Json(nullptr) : Json(words));
    report.Say(std::string("watchdog: ") + (watchdog ? "supported" : "none this tool drives"));
    report.Say("stored timeout: " + std::to_string(seconds) + " s (the tool's own value)");
    ShowReadback(readback, report);
    if (description[0])
        report.Say(
            std::string("description: ") + description + (words.empty() ? "" : " (" + words + ")"));
    session.ReportState();
}

} // namespace bypassctl
