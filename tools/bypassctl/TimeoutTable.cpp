#include "TimeoutTable.h"

#include "boards/ioport/TimeoutCode.h"
#include "boards/lanxus/LanxusSio.h"
#include "boards/msi/MsiSio.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace bypassctl {
namespace {

enum class Encoding {
    CounterByte,    // whole seconds in one byte: larger values wrap
    G41NexcomCode,  // bit length of the seconds, no upper bound
    D525NexcomCode, // bit length of the seconds held to at most 64
    C1045Code,      // 6 for 1 s down to 0 for 64 s; the board refuses the rest
};

// The Q35 tool and the SMBus controller write the seconds' low byte inline.
std::uint8_t LowByte(int seconds) { return static_cast<std::uint8_t>(seconds); }

struct TimeoutRow {
    int type;
    Encoding encoding;
    const char* receiver;                     // where the byte or code goes
    std::uint8_t (*counterByte)(int seconds); // the board's conversion, counter boards only
    bool armsForRestart;
    // What EnableWDT gives the hardware where it is not the stored timeout.
    const char* enableWithoutTimeout = nullptr;
};

constexpr const char* kMsiCounter = "Super I/O register 0xF6";
constexpr const char* kIteCounter = "Super I/O register 0x73";

// One row per board with a watchdog; types 0 and 5001 have none.
const TimeoutRow kTimeoutRows[] = {
    {1, Encoding::C1045Code, "port 0xF2 bits 2-0", nullptr, true,
        "nothing: EnableWDT only reads port 0xF2 on this board"},
    {2, Encoding::CounterByte, kIteCounter, LowByte, true},
    {3, Encoding::CounterByte, kMsiCounter, bypass::MsiTimeoutByte, true},
    {4, Encoding::D525NexcomCode, "port 0xF2", nullptr, true},
    {5, Encoding::CounterByte, kMsiCounter, bypass::MsiTimeoutByte, true},
    {6, Encoding::CounterByte, kMsiCounter, bypass::MsiTimeoutByte, true},
    {7, Encoding::G41NexcomCode, "port 0xF2", nullptr, true},
    {8, Encoding::G41NexcomCode, "port 0xF2", nullptr, true},
    {9, Encoding::CounterByte, kMsiCounter, bypass::MsiTimeoutByte, true},
    {10, Encoding::CounterByte, kIteCounter, bypass::LanxusWdtCount, true},
    {11, Encoding::CounterByte, kIteCounter, bypass::LanxusWdtCount, true},
    {5002, Encoding::CounterByte, kMsiCounter, bypass::MsiTimeoutByte, true},
    // The controller's watchdog only knows expiry into bypass.
    {5003, Encoding::CounterByte, "SMBus controller register 0x22", LowByte, false,
        "the start command only: the controller keeps the timeout it was last armed with"},
};

const TimeoutRow* FindTimeoutRow(int type)
{
    for (const TimeoutRow& row : kTimeoutRows) {
        if (row.type == type)
            return &row;
    }
    return nullptr;
}

std::string Hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// The seconds that share a logarithm code whose bit length is bits.
std::string StepOf(int bits)
{
    const long long first = 1LL << (bits - 1);
    const long long last = (1LL << bits) - 1;
    return "the board's step for " + std::to_string(first) + "-" + std::to_string(last) + " s";
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

TimeoutVerdict JudgeCounterByte(const TimeoutRow& row, int seconds)
{
    const unsigned byte = row.counterByte(seconds);
    const std::string written
        = std::string(row.receiver) + " = " + Hex(byte) + " (" + std::to_string(byte) + " s)";
    if (seconds >= 1 && seconds <= 255)
        return Accept(written, seconds);
    if (seconds == 0)
        return Refuse(seconds, "would stop the watchdog instead of arming it", 255);
    return Refuse(seconds, "does not fit the one-byte counter: it would wrap to " + written, 255);
}

TimeoutVerdict JudgeLogCode(const TimeoutRow& row, int seconds)
{
    if (seconds < 1) {
        const int longest = row.encoding == Encoding::G41NexcomCode ? INT_MAX : 64;
        return Refuse(seconds, "has no watchdog code on this board", longest);
    }
    int code = 0;
    int bits = bypass::BitLength(static_cast<std::uint32_t>(seconds));
    switch (row.encoding) {
    case Encoding::G41NexcomCode:
        code = bypass::G41NexcomTimeoutCode(seconds);
        break;
    case Encoding::D525NexcomCode:
        if (seconds > 64)
            return Refuse(seconds, "would be clamped to code 7, the same as 64 s", 64);
        code = bypass::D525NexcomTimeoutCode(seconds);
        break;
    default:
        if (!bypass::Is1045Timeout(seconds))
            return Refuse(seconds, "is refused by the board", bypass::k1045LongestTimeout);
        code = bypass::C1045TimeoutCode(seconds);
        break;
    }
    return Accept(
        std::string(row.receiver) + " = code " + std::to_string(code) + ", " + StepOf(bits),
        1 << (bits - 1));
}

} // namespace

TimeoutVerdict JudgeTimeout(int type, int seconds)
{
    const TimeoutRow* row = FindTimeoutRow(type);
    if (!row)
        return {false, "board type " + std::to_string(type) + " has no watchdog", 0};
    if (row->encoding == Encoding::CounterByte)
        return JudgeCounterByte(*row, seconds);
    return JudgeLogCode(*row, seconds);
}

const char* EnableWithoutTimeout(int type)
{
    const TimeoutRow* row = FindTimeoutRow(type);
    return row ? row->enableWithoutTimeout : nullptr;
}

bool BoardChoosesExpiry(int type)
{
    const TimeoutRow* row = FindTimeoutRow(type);
    return row && row->encoding == Encoding::G41NexcomCode;
}

bool CanArmForRestart(int type)
{
    const TimeoutRow* row = FindTimeoutRow(type);
    return row && row->armsForRestart;
}

} // namespace bypassctl
