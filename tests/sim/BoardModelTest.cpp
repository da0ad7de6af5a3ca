// The board tools against the models of their boards: what the relays and
// the watchdog end up doing, rather than which bytes went out, and that no
// step breaks a rule of the hardware.
#include "sim/BoardModel.h"
#include "boards/BoardTable.h"
#include "boards/WatchdogReadback.h"
#include "framework/ToolFactory.h"
#include "support/TraceFiles.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace bypass;
using namespace bypass::sim;

// A board model with the tool of its type driving it.
struct Appliance {
    explicit Appliance(int type)
        : board(CreateBoardModel(type))
        , previous(SetPortBackend(board.get()))
        , tool(MakeBypassTool(type))
    {
    }
    ~Appliance() { SetPortBackend(previous); }

    // A tool operation by its trace-file name, or: wait-MS lets time pass,
    // select-device-7 is another program's doing, lines-low firmware that left
    // the H61 relay lines low outputs. No step may leave configuration mode on.
    void Do(const std::string& step)
    {
        if (step.rfind("wait-", 0) == 0) {
            board->Advance(std::stoull(step.substr(5)));
        } else if (step == "select-device-7") {
            for (auto [port, value] :
                {std::pair{0x4E, 0x87}, {0x4E, 0x87}, {0x4E, 0x07}, {0x4F, 0x07}, {0x4E, 0xAA}})
                board->Out8(std::uint16_t(port), std::uint8_t(value));
        } else if (step == "lines-low") {
            board->Out16(0x50C, 0x0000);
            board->Out16(0x538, 0x0000);
        } else {
            test::OperationNamed(step)(*tool);
        }
        EXPECT_FALSE(board->SuperIoInConfigMode()) << "type " << board->Type() << " after " << step;
    }

    // The relays (N normal, B bypass), the watchdog, the restarts its expiry
    // caused and the first hardware rule broken.
    std::string State() const
    {
        static const char* const kActions[] = {", no action in ", ", bypass in ", ", restart in "};
        std::string text;
        for (Relay relay : board->Relays())
            text += relay == Relay::Bypass ? 'B' : 'N';
        const auto [running, action, seconds] = board->Watchdog();
        text += running ? kActions[int(action)] + std::to_string(seconds) + " s" : ", stopped";
        if (board->Restarts())
            text += ", restarts " + std::to_string(board->Restarts());
        return board->RuleViolations().empty() ? text : text + ", " + board->RuleViolations()[0];
    }

    std::unique_ptr<BoardModel> board;
    PortBackend* previous;
    std::unique_ptr<CBypassTool> tool;
};

TEST(BoardModels, EveryOperationKeepsTheHardwaresRules)
{
    // Each from the state the one before left, with time for expiries between.
    for (int type : ModelledBoardTypes()) {
        Appliance a(type);
        for (const char* operation :
            {"init", "arm-restart-5", "kick-restart", "enable-wdt", "enable-bypass", "arm-bypass-5",
                "kick-bypass", "disable-bypass", "disable-wdt", "fini", "init"}) {
            a.Do(operation);
            a.board->Advance(6000);
        }
        char description[256];
        a.tool->GetCurDesc(description);
        EXPECT_EQ(a.board->RuleViolations(), std::vector<std::string>()) << "type " << type;
    }
}

TEST(BoardModels, BypassWatchdogExpiryAndStop)
{
    for (const BoardRow& row : BoardTable()) {
        SCOPED_TRACE("type " + std::to_string(row.type));
        Appliance a(row.type);
        const std::string normal(row.segments, 'N'), bypass(row.segments, 'B');
        a.Do("init");
        EXPECT_EQ(a.State(), normal + ", stopped");
        a.Do("enable-bypass");
        a.Do("wait-1000"); // the 845 logic's bypass is a one-second watchdog
        EXPECT_EQ(a.State(), bypass + ", stopped");
        a.Do("disable-bypass");
        EXPECT_EQ(a.State(), normal + ", stopped");
        a.Do("arm-bypass-30");
        // The watchdog counts what the board table says the hardware takes for
        // 30 s. The SMBus tool's own pauses after loading the count have used
        // up a little of the last second.
        const long long armed
            = row.form == TimeoutForm::None ? 0 : TimeoutOnHardware(row, 30).firstSecond;
        EXPECT_EQ(a.State(),
            normal + (armed ? ", bypass in " + std::to_string(armed) + " s" : ", stopped"));
        if (armed == 0)
            continue;
        a.board->Advance((armed - 1) * 1000);
        EXPECT_EQ(a.State(), normal + ", bypass in 1 s");
        if (row.readWatchdog) {
            const WatchdogReadback chip = row.readWatchdog();
            EXPECT_EQ(chip.secondsLeft.value_or(1), 1);
            EXPECT_EQ(chip.programmedSeconds.value_or(armed), armed);
            EXPECT_NE(chip.enabled, std::optional<bool>(false));
            EXPECT_FALSE(chip.expired);
            EXPECT_FALSE(a.board->SuperIoInConfigMode()) << "after the readback";
        }
        a.Do("wait-1000");
        EXPECT_EQ(a.State(), bypass + ", stopped");
        EXPECT_TRUE(!row.readWatchdog || row.readWatchdog().expired);
        a.Do("disable-bypass");
        EXPECT_EQ(a.State(), normal + ", stopped") << "leaving an expired bypass";
        a.Do("kick-bypass");
        a.Do("disable-wdt");
        EXPECT_EQ(a.board->Watchdog().running, row.disableWdt.effect == WatchdogEffect::Nothing);
    }
}

// What switching the bypass does to an armed watchdog, against the row:
// armed for bypass, and for restart where the board can choose restart.
TEST(BoardModels, BypassSwitchingDoesToTheWatchdogWhatTheRowSays)
{
    using E = BypassWatchdogEffect;
    for (const BoardRow& row : BoardTable()) {
        const bool choosesRestart
            = row.restart == RestartExpiry::Armed || row.restart == RestartExpiry::CodeAsSeconds;
        for (const char* arming : {"arm-bypass-30", "arm-restart-30"}) {
            const bool restart = arming[4] == 'r';
            if (restart && !choosesRestart)
                continue;
            for (const bool on : {true, false}) {
                SCOPED_TRACE("type " + std::to_string(row.type) + ", " + arming + ", bypass "
                    + (on ? "on" : "off"));
                Appliance a(row.type);
                a.Do("init");
                a.Do(arming);
                const WatchdogState armed = a.board->Watchdog();
                a.Do(on ? "enable-bypass" : "disable-bypass");
                const WatchdogState after = a.board->Watchdog();
                const E effect = on ? row.bypassOn.effect : row.bypassOff.effect;
                const bool keeps
                    = effect == E::None || (effect == E::StopsBypassWatchdog && restart);
                if (keeps) {
                    EXPECT_EQ(std::tuple(after.running, after.action, after.seconds),
                        std::tuple(armed.running, armed.action, armed.seconds));
                } else {
                    EXPECT_EQ(after.running, effect == E::ArmsShortWatchdog);
                }
                EXPECT_EQ(a.board->Restarts(), effect == E::ForcesExpiry && restart ? 1u : 0u);
                if (effect != E::ArmsShortWatchdog)
                    continue;
                EXPECT_EQ(a.State(), std::string(row.segments, 'N') + ", bypass in 1 s");
                a.Do("wait-1000");
                EXPECT_EQ(a.State(), std::string(row.segments, 'B') + ", stopped");
            }
        }
    }
}

// Behaviour the tools are required to have, surprising as it looks on the
// hardware, pinned down by the state the board ends in.
TEST(BoardModels, QuirksOfTheBoards)
{
    const struct {
        int type;
        std::vector<std::string> steps;
        const char* state;
    } quirks[] = {
        // Armed for restart, EnableBypass's force-expiry bit restarts the
        // system on the boards that select device 8 first...
        {6, {"init", "arm-restart-30", "enable-bypass"}, "BB, stopped, restarts 1"},
        // ...while 945GM-MS sets the bit on whatever device is selected.
        {3, {"init", "arm-restart-30", "select-device-7", "enable-bypass"}, "BB, restart in 30 s"},
        // The 845 bypass, a one-second watchdog, never comes if left within it.
        {1, {"init", "enable-bypass", "disable-bypass", "wait-5000"}, "N, stopped"},
        // D525-NEXCOM counts the restart code as seconds; DisableWDT keeps it.
        {4, {"init", "arm-restart-60", "disable-wdt"}, "N, restart in 6 s"},
        // The LANXUS stop clears 0x72, whose bit 7 chose seconds; EnableWDT
        // writes only the count, and the bypass routing is still programmed.
        {10, {"init", "arm-bypass-30", "disable-wdt", "enable-wdt"}, "NN, bypass in 1800 s"},
        // Restart arming routes the timeout to the reset line and ends a bypass.
        {2, {"init", "enable-bypass", "arm-restart-20", "wait-20000"}, "N, stopped, restarts 1"},
        {9, {"init", "enable-bypass", "arm-restart-20", "wait-20000"}, "NN, stopped, restarts 1"},
        {10, {"init", "enable-bypass", "arm-restart-20", "wait-20000"}, "NN, stopped, restarts 1"},
        // On Q35 an expiry's bypass holds until the stop pulses 0xA21 bit 7.
        {2, {"init", "arm-bypass-5", "wait-5000", "enable-wdt"}, "B, bypass in 5 s"},
        {2, {"init", "arm-bypass-5", "wait-5000", "disable-wdt"}, "N, stopped"},
        // H61-LANXUS init raises GPIO 9 and 14 in one write, which the
        // controller takes for a strobe with state 1 while GPIO 46 still
        // addresses segment 0.
        {10, {"lines-low", "init"},
            "BN, stopped, relay latch lines changed with the rising edge of its strobe"},
        // The SMBus re-arming leaves an expired bypass in place.
        {5003, {"init", "arm-bypass-10", "wait-10000", "kick-bypass"}, "BBB, bypass in 10 s"},
    };
    for (const auto& quirk : quirks) {
        Appliance a(quirk.type);
        for (const std::string& step : quirk.steps)
            a.Do(step);
        EXPECT_EQ(a.State(), quirk.state) << "type " << quirk.type;
    }
}

} // namespace
