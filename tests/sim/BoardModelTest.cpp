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

    // A tool operation by its trace-file name, or: wait-MS lets time pass;
    // w83627-RR-VV and it87-RR-VV, another program's doing, write VV to
    // register RR (of the device selected) in one configuration cycle;
    // readback reads the watchdog back as status does, for State; lines-low
    // firmware that left the H61 relay lines low outputs. No step may leave
    // configuration mode on.
    void Do(const std::string& step)
    {
        if (step.rfind("wait-", 0) == 0) {
            board->Advance(std::stoull(step.substr(5)));
        } else if (step.rfind("w83627-", 0) == 0) {
            WriteRegister(0x4E, {0x87, 0x87}, step.substr(7), {{0x4E, 0xAA}});
        } else if (step.rfind("it87-", 0) == 0) {
            WriteRegister(
                0x2E, {0x87, 0x01, 0x55, 0x55}, step.substr(5), {{0x2E, 0x02}, {0x2F, 0x02}});
        } else if (step == "readback") {
            readback = Describe(FindBoard(board->Type())->readWatchdog());
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
        text += readback;
        return board->RuleViolations().empty() ? text : text + ", " + board->RuleViolations()[0];
    }

    void WriteRegister(std::uint16_t index, std::vector<std::uint8_t> key,
        const std::string& regValue, std::vector<std::pair<std::uint16_t, std::uint8_t>> leave)
    {
        for (std::uint8_t byte : key)
            board->Out8(index, byte);
        board->Out8(index, std::uint8_t(std::stoul(regValue.substr(0, 2), nullptr, 16)));
        board->Out8(index + 1, std::uint8_t(std::stoul(regValue.substr(3, 2), nullptr, 16)));
        for (auto [port, value] : leave)
            board->Out8(port, value);
    }

    static std::string Describe(const WatchdogReadback& chip)
    {
        std::string text = ", read:";
        if (chip.enabled)
            text += *chip.enabled ? " enabled" : " not enabled";
        if (chip.secondsLeft)
            text += (chip.secondsLeftUnit > 1 ? " at most " : " ")
                + std::to_string(*chip.secondsLeft) + " s left";
        if (chip.programmedSeconds)
            text += " programmed " + std::to_string(*chip.programmedSeconds) + " s";
        return text + (chip.expired ? " expired" : "");
    }

    std::unique_ptr<BoardModel> board;
    PortBackend* previous;
    std::unique_ptr<CBypassTool> tool;
    std::string readback;
};

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
        // D525-LANXUS keeps it: see QuirksOfTheBoards.
        EXPECT_EQ(a.State(), (row.type == 11 ? bypass : normal) + ", stopped")
            << "leaving an expired bypass";
        a.Do("kick-bypass");
        a.Do("disable-wdt");
        EXPECT_EQ(a.board->Watchdog().running, row.disableWdt.effect == WatchdogEffect::Nothing);
        EXPECT_EQ(a.board->RuleViolations(), std::vector<std::string>()) << "after the expiry";
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
        {3, {"init", "arm-restart-30", "w83627-07-07", "enable-bypass"}, "BB, restart in 30 s"},
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
        // A W83627 whose timeout status is still set does not fire again:
        // EnableWDT reloads the count without clearing it.
        {6, {"init", "arm-restart-5", "wait-5000", "enable-wdt", "wait-5000"},
            "NN, stopped, restarts 1"},
        // The restart pulse has its own pin, whatever 0x2D bit 0 does to WDTO#.
        {6, {"init", "arm-restart-5", "w83627-2D-01", "wait-5000"}, "NN, stopped, restarts 1"},
        // 0xF6 = 0 is off; a count of minutes tells the time to within one.
        {6, {"init", "arm-bypass-30", "disable-bypass", "readback"},
            "NN, stopped, read: not enabled"},
        {6, {"init", "arm-restart-30", "w83627-F5-0A", "w83627-F6-02", "wait-30000", "readback"},
            "NN, restart in 90 s, read: enabled at most 120 s left"},
        // The F71 layout runs only with the device active too.
        {9, {"init", "arm-bypass-30", "w83627-07-07", "w83627-30-00", "readback"},
            "NN, stopped, read: not enabled"},
        // The Q35 model's IT8712F revision 7 has no 0x74: an 8-bit count.
        {2, {"init", "arm-bypass-5", "it87-74-01", "readback"},
            "N, bypass in 5 s, read: programmed 5 s"},
        // IT87 0x71 bit 1 forces a timeout; 0x72 bit 5 counts 64 ms units.
        {10, {"init", "arm-bypass-30", "it87-71-02"}, "BB, stopped"},
        {10, {"init", "arm-bypass-30", "it87-72-A0"}, "NN, bypass in 2 s"},
        // Only an edge on GPIO 8 ends D525-LANXUS's expired bypass: the stop,
        // which writes it high again, does not.
        {11, {"init", "arm-bypass-5", "wait-5000", "disable-bypass"}, "B, stopped"},
        {11, {"init", "arm-bypass-5", "wait-5000", "enable-bypass", "disable-bypass"},
            "N, stopped"},
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
