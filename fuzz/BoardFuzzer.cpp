// Runs arbitrary sequences of tool operations, with arbitrary arguments, on
// the model of a board, and stops at the first one that leaves a Super I/O
// chip in configuration mode or breaks a rule of the hardware.
//
// Input: one byte picks the board (index into the modelled types), then up
// to kMaxOperations operations, each an opcode byte followed by the
// little-endian 32-bit arguments it takes. Missing bytes read as 0.
#include "framework/ToolFactory.h"
#include "sim/BoardModel.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using namespace bypass;
using namespace bypass::sim;

constexpr int kMaxOperations = 48;
// Time steps stay below ten minutes, enough for any count to expire.
constexpr std::uint32_t kMaxStepMs = 600000;

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool Empty() const { return m_pos >= m_size; }
    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    int Int()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= std::uint32_t(Byte()) << (8 * i);
        return static_cast<int>(value);
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

void Apply(CBypassTool& tool, BoardModel& board, Input& in)
{
    char description[64];
    switch (in.Byte() % 14) {
    case 0:
        tool.DisableWDT();
        break;
    case 1:
        tool.EnableWDT();
        break;
    case 2: {
        const int reserved = in.Int();
        tool.SetWDTTimeout_Bypass(reserved, in.Int());
        break;
    }
    case 3: {
        const int reserved = in.Int();
        tool.SetWDTTimeout_ResartSys(reserved, in.Int());
        break;
    }
    case 4:
        tool.SetWDTTimeout_Bypass_Again(in.Int());
        break;
    case 5:
        tool.SetWDTTimeout_ResartSys_Again(in.Int());
        break;
    case 6:
        tool.EnableBypass();
        break;
    case 7:
        tool.DisableBypass();
        break;
    case 8:
        tool.IsSupportWDT();
        break;
    case 9:
        tool.GetCurDesc(description);
        break;
    case 10:
        tool.fini();
        break;
    case 11:
        tool.init();
        break;
    default:
        board.Advance(static_cast<std::uint32_t>(in.Int()) % kMaxStepMs);
        break;
    }
}

void CheckInvariants(const BoardModel& board, int type, int step)
{
    if (board.SuperIoInConfigMode()) {
        std::fprintf(stderr, "type %d: a Super I/O chip left in configuration mode after step %d\n",
            type, step);
        std::abort();
    }
    if (!board.RuleViolations().empty()) {
        std::fprintf(stderr, "type %d: step %d broke a rule of the hardware: %s\n", type, step,
            board.RuleViolations().front().c_str());
        std::abort();
    }
    // The state a status display would show must be readable at any time.
    (void)board.Relays();
    (void)board.Watchdog();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    const auto& types = ModelledBoardTypes();
    const int type = types[in.Byte() % types.size()];
    std::unique_ptr<BoardModel> board = CreateBoardModel(type);
    PortBackend* previous = SetPortBackend(board.get());
    std::unique_ptr<CBypassTool> tool(MakeBypassTool(type));
    tool->init();
    CheckInvariants(*board, type, 0);
    for (int step = 1; step <= kMaxOperations && !in.Empty(); ++step) {
        Apply(*tool, *board, in);
        CheckInvariants(*board, type, step);
    }
    tool->fini();
    SetPortBackend(previous);
    return 0;
}
