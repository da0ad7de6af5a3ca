#include "TimeoutTable.h"

#include "boards/BoardTable.h"

#include <cstdio>
#include <string>
#include <utility>

namespace bypassctl {
namespace {

using bypass::BoardRow;
using bypass::TimeoutForm;

std::string Hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

TimeoutVerdict Accept(std::string text, int shortestSeconds)
{
    return {true, std::move(text), shortestSeconds};
}

TimeoutVerdict Refuse(int seconds, const std::string& why, int longest)
{
    std::string text = "timeout " + std::to_string(seconds) + " s " + why + "; allowed: 1 to "
        + std::to_string(longest) + " seconds";
    return {false, std::move(text), 0};
}

TimeoutVerdict JudgeSecondsByte(const BoardRow& row, int seconds)
{
    const unsigned byte = bypass::TimeoutOnHardware(row, seconds).written;
    const std::string written = std::string(row.timeoutReceiver) + " = " + Hex(byte) + " ("
        + std::to_string(byte) + " s)";
    if (seconds >= row.shortestSeconds && seconds <= row.longestSeconds)
        return Accept(written, seconds);
    if (seconds == 0)
        return Refuse(seconds, "would stop the watchdog instead of arming it", row.longestSeconds);
    return Refuse(seconds, "does not fit the one-byte counter: it would wrap to " + written,
        row.longestSeconds);
}

// Why a board that takes a logarithm code refuses seconds beyond its range.
const char* WhyTooLong(TimeoutForm form)
{
    return form == TimeoutForm::ClampedCode ? "would be clamped to code 7, the same as 64 s"
                                            : "is refused by the board";
}

TimeoutVerdict JudgeLogCode(const BoardRow& row, int seconds)
{
    if (seconds < row.shortestSeconds)
        return Refuse(seconds, "has no watchdog code on this board", row.longestSeconds);
    const bypass::HardwareTimeout hardware = bypass::TimeoutOnHardware(row, seconds);
    if (!hardware.fits)
        return Refuse(seconds, WhyTooLong(row.form), row.longestSeconds);
    const std::string step = "the board's step for " + std::to_string(hardware.firstSecond) + "-"
        + std::to_string(hardware.lastSecond) + " s";
    return Accept(std::string(row.timeoutReceiver) + " = code " + std::to_string(hardware.written)
            + ", " + step,
        static_cast<int>(hardware.firstSecond));
}

const BoardRow* WatchdogRow(int type)
{
    const BoardRow* row = bypass::FindBoard(type);
    return row && row->form != TimeoutForm::None ? row : nullptr;
}

} // namespace

TimeoutVerdict JudgeTimeout(int type, int seconds)
{
    const BoardRow* row = WatchdogRow(type);
    if (!row)
        return {false, "board type " + std::to_string(type) + " has no watchdog", 0};
    if (row->form == TimeoutForm::SecondsByte)
        return JudgeSecondsByte(*row, seconds);
    return JudgeLogCode(*row, seconds);
}

const char* EnableWithoutTimeout(int type)
{
    const BoardRow* row = WatchdogRow(type);
    return row && !row->enableSendsStoredTimeout ? row->enableWdt.what : nullptr;
}

bool BoardChoosesExpiry(int type)
{
    const BoardRow* row = WatchdogRow(type);
    return row && row->restart == bypass::RestartExpiry::BoardChooses;
}

bool CanArmForRestart(int type)
{
    const BoardRow* row = WatchdogRow(type);
    return row && row->restart != bypass::RestartExpiry::None;
}

} // namespace bypassctl
