// status: what the board's tool and its watchdog's chip tell, without
// changing anything.
#include "board/BoardChoice.h"
#include "board/BoardSession.h"
#include "cli/Command.h"

#include "boards/BoardTable.h"

#include <cstdio>
#include <optional>

namespace bypassctl {
namespace {

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
            {"restarts", chip.restarts ? Json(*chip.restarts) : Json(nullptr)},
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
    const bypass::BoardRow* row = bypass::FindBoard(session.Type());
    const std::string words
        = row && row->descriptionInWords ? row->descriptionInWords(description) : "";
    report.Set("description_words", words.empty() ? Json(nullptr) : Json(words));
    report.Say(std::string("watchdog: ") + (watchdog ? "supported" : "none this tool drives"));
    report.Say("stored timeout: " + std::to_string(seconds) + " s (the tool's own value)");
    ShowReadback(readback, report);
    report.Set("port_path", session.PortPath());
    report.Say("port path: " + session.PortPath());
    if (description[0])
        report.Say(
            std::string("description: ") + description + (words.empty() ? "" : " (" + words + ")"));
    session.ReportState();
}

} // namespace bypassctl
