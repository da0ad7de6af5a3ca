#include "board/TimeoutTable.h"

#include "boards/BoardTable.h"

#include <climits>
#include <cstdio>
#include <string>
#include <utility>

namespace bypassctl {
namespace {

using bypass::BoardRow;
using bypass::RestartExpiry;
using bypass::TimeoutForm;

std::string Hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string Range(const BoardRow& row)
{
    return std::to_string(row.shortestSeconds) + " to " + std::to_string(row.longestSeconds)
        + " seconds";
}

bool CountsCodeAsSeconds(const BoardRow& row, bool restart)
{
    return restart && row.restart == RestartExpiry::CodeAsSeconds;
}

std::string ByteText(const BoardRow& row, int seconds)
{
    const unsigned byte = bypass::TimeoutOnHardware(row, seconds).written;
    return std::string(row.timeoutReceiver) + " = " + Hex(byte) + " (" + std::to_string(byte)
        + " s)";
}

// Why the board cannot take seconds outside its range.
std::string WhyRefused(const BoardRow& row, long long seconds)
{
    const bool isInt = seconds >= INT_MIN && seconds <= INT_MAX;
    switch (row.form) {
    case TimeoutForm::SecondsByte:
        if (seconds == 0)
            return "would stop the watchdog instead of arming it";
        return "does not fit the one-byte counter"
            + (isInt ? ": it would wrap to " + ByteText(row, static_cast<int>(seconds)) : "");
    case TimeoutForm::ClampedCode:
        if (seconds > row.longestSeconds)
            return "would be clamped to code 7, the same as 64 s";
        break;
    case TimeoutForm::DescendingCode:
        if (seconds > row.longestSeconds)
            return "is refused by the board";
        break;
    default:
        if (seconds > row.longestSeconds)
            return "is longer than the board's logic is known to count";
    }
    return "has no watchdog code on this board";
}

TimeoutVerdict Accept(const BoardRow& row, bool restart, int seconds)
{
    const bypass::HardwareTimeout hardware = bypass::TimeoutOnHardware(row, seconds);
    const std::string code = "code " + std::to_string(hardware.written);
    if (CountsCodeAsSeconds(row, restart))
        return {true,
            std::string(row.restartReceiver) + " = " + code + ", which the chip counts as "
                + std::to_string(hardware.written) + " s",
            hardware.written};
    if (row.form == TimeoutForm::SecondsByte)
        return {true, ByteText(row, seconds), seconds};
    const std::string first = std::to_string(hardware.firstSecond);
    const std::string step = hardware.firstSecond == hardware.lastSecond
        ? first + " s"
        : "the board's step for " + first + "-" + std::to_string(hardware.lastSecond) + " s";
    return {true, std::string(row.timeoutReceiver) + " = " + code + ", " + step,
        static_cast<int>(hardware.firstSecond)};
}

const BoardRow* WatchdogRow(int type)
{
    const BoardRow* row = bypass::FindBoard(type);
    return row && row->form != TimeoutForm::None ? row : nullptr;
}

} // namespace

TimeoutVerdict JudgeTimeout(int type, bool restart, long long seconds)
{
    const BoardRow* row = WatchdogRow(type);
    if (!row)
        return {false, "board type " + std::to_string(type) + " has no watchdog", 0};
    if (seconds >= row->shortestSeconds && seconds <= row->longestSeconds)
        return Accept(*row, restart, static_cast<int>(seconds));
    return {false,
        "timeout " + std::to_string(seconds) + " s " + WhyRefused(*row, seconds)
            + "; allowed: " + Range(*row),
        0};
}

std::string AcceptedTimeouts(int type)
{
    const BoardRow* row = WatchdogRow(type);
    if (!row)
        return "";
    std::string text = "Timeouts on board type " + std::to_string(type) + " (" + row->platform
        + "): " + Range(*row) + "; the hardware gets "
        + Accept(*row, false, row->shortestSeconds).text + " up to "
        + Accept(*row, false, row->longestSeconds).text + ".";
    if (row->restart == RestartExpiry::CodeAsSeconds)
        text += " Armed for restart, " + Accept(*row, true, row->shortestSeconds).text + " up to "
            + Accept(*row, true, row->longestSeconds).text + ".";
    return text;
}

std::string WhyNoRestart(int type)
{
    const BoardRow* row = WatchdogRow(type);
    const std::string board = "board type " + std::to_string(type);
    if (!row || row->restart == RestartExpiry::None)
        return board + " cannot arm its watchdog to restart the system; use --action bypass";
    if (row->restart == RestartExpiry::BoardChooses)
        return board
            + " cannot arm its watchdog to restart the system: both actions give the hardware "
              "the same bytes, and its logic puts the ports into bypass on expiry; use --action "
              "bypass";
    return "";
}

} // namespace bypassctl
