// The questions the rest of the project asks of the board table, and the
// factory built on it.
#include "boards/BoardTable.h"
#include "framework/ToolFactory.h"

namespace bypass {
namespace {

// The seconds a logarithm code stands for, as its bit length says; a code
// of no length stands for no time.
HardwareTimeout Step(bool fits, int code, int bits)
{
    if (bits <= 0)
        return {fits, code, 0, 0};
    return {fits, code, 1LL << (bits - 1), (1LL << bits) - 1};
}

} // namespace

const BoardRow* FindBoard(int type)
{
    for (const BoardRow& row : BoardTable()) {
        if (row.type == type)
            return &row;
    }
    return nullptr;
}

BypassStep BypassWatchdogStep(int type, bool on)
{
    const BoardRow* row = FindBoard(type);
    if (!row)
        return {BypassWatchdogEffect::None, "nothing: no board of that type"};
    return on ? row->bypassOn : row->bypassOff;
}

HardwareTimeout TimeoutOnHardware(const BoardRow& row, int seconds)
{
    const bool fits = row.form != TimeoutForm::None && seconds >= row.shortestSeconds
        && seconds <= row.longestSeconds;
    const int written = row.timeoutValue(seconds);
    switch (row.form) {
    case TimeoutForm::BitLengthCode:
    case TimeoutForm::ClampedCode:
        return Step(fits, written, written);
    case TimeoutForm::DescendingCode:
        return Step(fits, written, 7 - written);
    default:
        return {fits, written, written, written};
    }
}

// The factory of framework/ToolFactory.h, driven by the table.
CBypassTool* MakeBypassTool(int type)
{
    const BoardRow* row = FindBoard(type);
    return row ? row->create(type) : new CNULLBypassTool(0);
}

const char* BypassToolClassName(int type)
{
    const BoardRow* row = FindBoard(type);
    return row ? row->className : "CNULLBypassTool";
}

} // namespace bypass
