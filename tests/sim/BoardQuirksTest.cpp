// What the models show the board tools doing beyond the plain cases: each
// test pins down a behaviour the tools are required to have, surprising as
// it looks on the hardware.
#include "framework/ToolFactory.h"
#include "sim/BoardModel.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace bypass;
using namespace bypass::sim;

// A board model with its tool created and initialised on it.
struct Appliance {
    explicit Appliance(int type)
        : board(CreateBoardModel(type))
        , previous(SetPortBackend(board.get()))
        , tool(MakeBypassTool(type))
    {
        tool->init();
    }
    ~Appliance()
    {
        tool->fini();
        SetPortBackend(previous);
    }

    std::unique_ptr<BoardModel> board;
    PortBackend* previous;
    std::unique_ptr<CBypassTool> tool;
};

// Another program selects logical device 7 of the chip at 0x4E.
void SelectDevice7Elsewhere(BoardModel& board)
{
    board.Out8(0x4E, 0x87);
    board.Out8(0x4E, 0x87);
    board.Out8(0x4E, 0x07);
    board.Out8(0x4F, 0x07);
    board.Out8(0x4E, 0xAA);
}

TEST(BoardQuirks, MsiBypassNowForcesTheExpiryOfTheSelectedDevice)
{
    // Armed for restart, EnableBypass's force-expiry bit restarts the system
    // on the boards that select device 8 first...
    for (int type : {5, 6, 5002}) {
        Appliance a(type);
        a.tool->SetWDTTimeout_ResartSys(0, 30);
        EXPECT_EQ(a.board->Watchdog().action, ExpiryAction::Restart);
        a.tool->EnableBypass();
        EXPECT_EQ(a.board->Restarts(), 1u) << "type " << type;
    }
    // ...while 945GM-MS sets the bit on whatever device is selected: with
    // device 7 selected the watchdog runs on.
    Appliance gm(3);
    gm.tool->SetWDTTimeout_ResartSys(0, 30);
    SelectDevice7Elsewhere(*gm.board);
    gm.tool->EnableBypass();
    EXPECT_EQ(gm.board->Restarts(), 0u);
    EXPECT_TRUE(gm.board->Watchdog().running);
    EXPECT_EQ(gm.board->Relays(), std::vector<Relay>(2, Relay::Bypass));
}

TEST(BoardQuirks, The845BypassIsAOneSecondWatchdog)
{
    Appliance a(1);
    a.tool->EnableBypass();
    EXPECT_EQ(a.board->SegmentRelay(0), Relay::Normal);
    EXPECT_EQ(a.board->Watchdog().seconds, 1u);
    a.tool->DisableBypass(); // within the second: the bypass never comes
    a.board->Advance(5000);
    EXPECT_EQ(a.board->SegmentRelay(0), Relay::Normal);
    a.tool->SetWDTTimeout_ResartSys(0, 5);
    EXPECT_EQ(a.board->Watchdog().seconds, 4u) << "the code keeps the power of two below";
}

TEST(BoardQuirks, D525NexcomRestartCountsTheCodeAsSecondsAndDisableWdtKeepsIt)
{
    Appliance a(4);
    a.tool->SetWDTTimeout_ResartSys(0, 60);
    a.tool->DisableWDT();
    const WatchdogState state = a.board->Watchdog();
    EXPECT_TRUE(state.running);
    EXPECT_EQ(state.action, ExpiryAction::Restart);
    EXPECT_EQ(state.seconds, 6u);
    a.board->Advance(6000);
    EXPECT_EQ(a.board->Restarts(), 1u);
}

TEST(BoardQuirks, LanxusEnableWdtAfterDisableWdtCountsMinutes)
{
    // The stop sequence clears 0x72, whose bit 7 chose seconds; EnableWDT
    // writes only the count, and the bypass routing is still programmed.
    for (int type : {10, 11}) {
        Appliance a(type);
        a.tool->SetWDTTimeout_Bypass(0, 30);
        a.tool->DisableWDT();
        EXPECT_FALSE(a.board->Watchdog().running);
        a.tool->EnableWDT();
        const WatchdogState state = a.board->Watchdog();
        EXPECT_TRUE(state.running) << "type " << type;
        EXPECT_EQ(state.seconds, 30u * 60u);
        EXPECT_EQ(state.action, ExpiryAction::Bypass);
    }
}

TEST(BoardQuirks, RestartArmingRoutesTheTimeoutToTheResetLine)
{
    for (int type : {2, 3, 9, 10, 11}) {
        Appliance a(type);
        a.tool->EnableBypass();
        a.tool->SetWDTTimeout_ResartSys(0, 20);
        EXPECT_EQ(a.board->Watchdog().action, ExpiryAction::Restart) << "type " << type;
        a.board->Advance(20000);
        EXPECT_EQ(a.board->Restarts(), 1u) << "type " << type;
        if (type != 3) { // 945GM-MS leaves port 0x5E alone when arming for restart
            EXPECT_EQ(a.board->SegmentRelay(0), Relay::Normal) << "type " << type;
        }
    }
}

TEST(BoardQuirks, Q35ExpiredBypassHoldsUntilThePulse)
{
    Appliance a(2);
    a.tool->SetWDTTimeout_Bypass(0, 5);
    a.board->Advance(5000);
    ASSERT_EQ(a.board->SegmentRelay(0), Relay::Bypass);
    a.tool->EnableWDT(); // no pulse: the bypass logic stays tripped
    EXPECT_EQ(a.board->SegmentRelay(0), Relay::Bypass);
    a.tool->DisableWDT(); // the stop pulses 0xA21 bit 7
    EXPECT_EQ(a.board->SegmentRelay(0), Relay::Normal);
}

TEST(BoardQuirks, H61LanxusInitStrobesSegment0WhenItFindsTheLinesLow)
{
    // Firmware that left the six relay lines low outputs: init raises GPIO 9
    // and GPIO 14 in one write, which the controller takes for a strobe with
    // state 1, while GPIO 46 still addresses segment 0.
    auto board = CreateBoardModel(10);
    PortBackend* previous = SetPortBackend(board.get());
    board->Out16(0x50C, 0x0000);
    board->Out16(0x538, 0x0000);
    std::unique_ptr<CBypassTool> tool(MakeBypassTool(10));
    tool->init();
    EXPECT_EQ(board->Relays(), (std::vector<Relay>{Relay::Bypass, Relay::Normal}));
    EXPECT_EQ(board->RuleViolations().size(), 1u) << "the state line rose with the strobe";
    tool->DisableBypass();
    EXPECT_EQ(board->Relays(), std::vector<Relay>(2, Relay::Normal));
    SetPortBackend(previous);
}

TEST(BoardQuirks, SmbusReArmingLeavesAnExpiredBypassInPlace)
{
    Appliance a(5003);
    a.tool->SetWDTTimeout_Bypass(0, 10);
    a.board->Advance(10000);
    a.tool->SetWDTTimeout_Bypass_Again(0);
    EXPECT_TRUE(a.board->Watchdog().running);
    EXPECT_EQ(a.board->Relays(), std::vector<Relay>(3, Relay::Bypass));
    a.tool->DisableBypass();
    EXPECT_EQ(a.board->Relays(), std::vector<Relay>(3, Relay::Normal));
    EXPECT_FALSE(a.board->Watchdog().running);
}

} // namespace
