// The board tools against the models of their boards: what the relays and
// the watchdog end up doing, rather than which bytes went out.
#include "sim/BoardModel.h"
#include "boards/BoardTable.h"
#include "framework/ToolFactory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace bypass;
using namespace bypass::sim;

struct BoardCase {
    int type;
    bool disableWdtStops;
    // The 845 logic's bypass is a one-second watchdog armed to bypass.
    unsigned long long bypassDelayMs;
};

const BoardCase kBoards[] = {
    {1, true, 1000},
    {2, true, 0},
    {3, true, 0},
    {4, false, 0}, // its DisableWDT touches no port
    {5, true, 0},
    {6, true, 0},
    {7, true, 0},
    {8, true, 0},
    {9, true, 0},
    {10, true, 0},
    {11, true, 0},
    {5001, true, 0}, // no watchdog: arming only leaves bypass
    {5002, true, 0},
    {5003, true, 0},
};

// What the watchdog counts after SetWDTTimeout_Bypass(0, 30), as the board
// table says the hardware takes 30 s; 0 when the board's tool runs none.
unsigned long long ArmedSecondsFor30(const BoardRow& row)
{
    if (row.form == TimeoutForm::None)
        return 0;
    return static_cast<unsigned long long>(TimeoutOnHardware(row, 30).firstSecond);
}

void PrintTo(const BoardCase& board, std::ostream* os) { *os << "type " << board.type; }

std::vector<Relay> All(unsigned segments, Relay relay)
{
    return std::vector<Relay>(segments, relay);
}

class BoardModelTest : public ::testing::TestWithParam<BoardCase> {
protected:
    void SetUp() override
    {
        board = CreateBoardModel(GetParam().type);
        ASSERT_NE(board, nullptr);
        m_previous = SetPortBackend(board.get());
        tool.reset(MakeBypassTool(GetParam().type));
        tool->init();
        ExpectHardwareRulesKept("init");
    }

    void TearDown() override
    {
        tool->fini();
        tool.reset();
        SetPortBackend(m_previous);
    }

    // Runs one operation; none may break a rule of the hardware or leave a
    // chip in configuration mode.
    template <class Operation> void Do(const char* what, Operation operation)
    {
        operation(*tool);
        ExpectHardwareRulesKept(what);
    }

    void ExpectHardwareRulesKept(const char* what)
    {
        EXPECT_EQ(board->RuleViolations(), std::vector<std::string>()) << "after " << what;
        EXPECT_FALSE(board->SuperIoInConfigMode()) << "after " << what;
    }

    std::unique_ptr<BoardModel> board;
    std::unique_ptr<CBypassTool> tool;

private:
    PortBackend* m_previous = nullptr;
};

TEST_P(BoardModelTest, BypassWatchdogExpiryAndStop)
{
    const BoardCase& c = GetParam();
    const BoardRow& row = *FindBoard(c.type);
    const unsigned segments = row.segments;
    const unsigned long long armedSeconds = ArmedSecondsFor30(row);
    EXPECT_EQ(board->Relays(), All(segments, Relay::Normal)) << "at power-on";

    Do("EnableBypass", [](CBypassTool& t) { t.EnableBypass(); });
    board->Advance(c.bypassDelayMs);
    EXPECT_EQ(board->Relays(), All(segments, Relay::Bypass)) << "after EnableBypass";

    Do("DisableBypass", [](CBypassTool& t) { t.DisableBypass(); });
    EXPECT_EQ(board->Relays(), All(segments, Relay::Normal)) << "after DisableBypass";

    Do("SetWDTTimeout_Bypass", [](CBypassTool& t) { t.SetWDTTimeout_Bypass(0, 30); });
    EXPECT_EQ(board->Relays(), All(segments, Relay::Normal)) << "once armed";
    const WatchdogState armed = board->Watchdog();
    EXPECT_EQ(armed.running, armedSeconds != 0);
    if (armedSeconds == 0)
        return;
    EXPECT_EQ(armed.action, ExpiryAction::Bypass);
    EXPECT_EQ(armed.seconds, armedSeconds);

    // The SMBus tool's own pauses after loading the count have used up a
    // little of the last second.
    board->Advance((armedSeconds - 1) * 1000);
    EXPECT_EQ(board->Relays(), All(segments, Relay::Normal)) << "a second before expiry";
    if (row.readWatchdog) {
        const WatchdogReadback chip = row.readWatchdog();
        ExpectHardwareRulesKept("the readback");
        EXPECT_EQ(chip.secondsLeft.value_or(1), 1);
        EXPECT_EQ(chip.programmedSeconds.value_or(armedSeconds), armedSeconds);
        EXPECT_NE(chip.enabled, std::optional<bool>(false));
        EXPECT_FALSE(chip.expired);
    }
    board->Advance(1000);
    EXPECT_EQ(board->Relays(), All(segments, Relay::Bypass)) << "at expiry";
    EXPECT_TRUE(!row.readWatchdog || row.readWatchdog().expired);
    EXPECT_FALSE(board->Watchdog().running);
    EXPECT_EQ(board->Restarts(), 0u);

    Do("DisableBypass", [](CBypassTool& t) { t.DisableBypass(); });
    EXPECT_EQ(board->Relays(), All(segments, Relay::Normal)) << "leaving an expired bypass";

    Do("SetWDTTimeout_Bypass_Again", [](CBypassTool& t) { t.SetWDTTimeout_Bypass_Again(0); });
    Do("DisableWDT", [](CBypassTool& t) { t.DisableWDT(); });
    EXPECT_EQ(board->Watchdog().running, !c.disableWdtStops) << "after DisableWDT";
}

TEST_P(BoardModelTest, EveryOperationKeepsTheHardwaresRules)
{
    // Each from the state the one before left, the watchdog expiring between
    // the arming and the re-arming.
    char description[256];
    const std::pair<const char*, void (*)(CBypassTool&)> operations[] = {
        {"SetWDTTimeout_ResartSys", [](CBypassTool& t) { t.SetWDTTimeout_ResartSys(0, 5); }},
        {"SetWDTTimeout_ResartSys_Again",
            [](CBypassTool& t) { t.SetWDTTimeout_ResartSys_Again(0); }},
        {"EnableWDT", [](CBypassTool& t) { t.EnableWDT(); }},
        {"EnableBypass", [](CBypassTool& t) { t.EnableBypass(); }},
        {"SetWDTTimeout_Bypass", [](CBypassTool& t) { t.SetWDTTimeout_Bypass(0, 5); }},
        {"SetWDTTimeout_Bypass_Again", [](CBypassTool& t) { t.SetWDTTimeout_Bypass_Again(0); }},
        {"DisableBypass", [](CBypassTool& t) { t.DisableBypass(); }},
        {"DisableWDT", [](CBypassTool& t) { t.DisableWDT(); }},
        {"fini", [](CBypassTool& t) { t.fini(); }},
        {"init", [](CBypassTool& t) { t.init(); }},
    };
    for (const auto& operation : operations) {
        Do(operation.first, operation.second);
        board->Advance(6000);
    }
    Do("GetCurDesc", [&description](CBypassTool& t) { t.GetCurDesc(description); });
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BoardModelTest, ::testing::ValuesIn(kBoards),
    [](const ::testing::TestParamInfo<BoardCase>& info) {
        return "type" + std::to_string(info.param.type);
    });

} // namespace
