// bypassctl's commands run in-process against simulated boards: what they
// print, their JSON, exit codes, the port traffic they cause, the state the
// board's hardware is left in, and that bad input is refused before any port
// is touched. Every run starts from the board's power-on state.
#include "Cli.h"

#include "framework/BaseboardQuery.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace bypassctl {
namespace {

using Json = nlohmann::json;

// Stops keepalive after a number of waits, and remembers how long each was.
class CountedStop : public StopSignal {
public:
    explicit CountedStop(int waitsBeforeStop = 0)
        : m_waitsBeforeStop(waitsBeforeStop)
    {
    }
    void Listen() override { listening = true; }
    bool WaitFor(unsigned seconds) override
    {
        waits.push_back(seconds);
        return static_cast<int>(waits.size()) > m_waitsBeforeStop;
    }

    bool listening = false;
    std::vector<unsigned> waits;

private:
    int m_waitsBeforeStop;
};

struct Outcome {
    int code;
    std::string out;
    std::string err;
    std::string trace;
    Json json() const { return Json::parse(out); }
};

Outcome Ctl(std::vector<std::string> args, StopSignal* stop = nullptr,
    const std::string& moduleDir = "no-such-module-dir")
{
    CountedStop noStop;
    std::ostringstream out;
    std::ostringstream err;
    std::FILE* trace = std::tmpfile();
    Console console{out, err, trace, stop ? *stop : noStop, moduleDir};
    // Every run shows its port traffic, so a test can tell there was none.
    args.push_back("--trace");
    const int code = RunBypassctl(args, console);
    std::string traffic;
    std::rewind(trace);
    for (int c = std::fgetc(trace); c != EOF; c = std::fgetc(trace))
        traffic += static_cast<char>(c);
    std::fclose(trace);
    return {code, out.str(), err.str(), traffic};
}

std::string g_reportedProduct;
std::string ReportedProduct() { return g_reportedProduct; }

TEST(Bypassctl, ListShowsTheCatalogueInUtf8)
{
    const Outcome text = Ctl({"list"});
    EXPECT_EQ(0, text.code);
    EXPECT_NE(std::string::npos, text.out.find("6     MS-96E3          2,2    B3/B4"));
    EXPECT_NE(std::string::npos, text.out.find("H61-LANXUS(联智通达)平台"));

    const Json json = Ctl({"list", "--json"}).json();
    ASSERT_EQ(16u, json["boards"].size());
    EXPECT_EQ("list", json["command"]);
    const Json& g41 = json["boards"][7];
    EXPECT_EQ(6, g41["type"]);
    EXPECT_EQ("G41-MS(微星)平台", g41["description"]);
    EXPECT_EQ("B3/B4", g41["model"]);
    EXPECT_EQ("C_G41_BypassTool_MS", g41["tool"]);
    EXPECT_EQ("没有BYPASS", json["boards"][1]["model"]);
    EXPECT_TRUE(json["boards"][0]["tool"].is_null());
    EXPECT_EQ(3, json["boards"][8]["extra1"]);
}

TEST(Bypassctl, IdentifyReportsProductTypeAndToolAndWarnsOfKernelWatchdogs)
{
    const Json simulated = Ctl({"identify", "--simulate", "MS-96C4", "--json"}).json();
    EXPECT_EQ("MS-96C4", simulated["product"]);
    EXPECT_EQ(5, simulated["type"]);
    EXPECT_EQ("C_945GC_BypassTool_MS", simulated["tool"]);
    EXPECT_EQ(true, simulated["simulated"]);

    // A real board whose name the test plays, with it87_wdt loaded.
    const auto modules = std::filesystem::temp_directory_path() / "bypassctl-modules";
    std::filesystem::create_directories(modules / "it87_wdt");
    g_reportedProduct = "LX-H61NS";
    const auto previous = bypass::SetProductNameSource(ReportedProduct);
    const Outcome real = Ctl({"identify", "--json"}, nullptr, modules.string());
    g_reportedProduct = "MS-96E3 ";
    const Outcome unknown = Ctl({"identify"}, nullptr, modules.string());
    bypass::SetProductNameSource(previous);
    std::filesystem::remove_all(modules);

    EXPECT_EQ(10, real.json()["type"]);
    EXPECT_EQ("C_H61_BypassTool_Lanxus", real.json()["tool"]);
#if !defined(_WIN32)
    EXPECT_EQ(Json::array({"it87_wdt"}), real.json()["kernel_watchdog_modules"]);
    EXPECT_NE(std::string::npos, real.err.find("kernel module it87_wdt is loaded"));
#endif
    EXPECT_EQ(0, unknown.code);
    EXPECT_NE(std::string::npos, unknown.out.find("type: none"));
    EXPECT_NE(std::string::npos, unknown.out.find("tool: CNULLBypassTool"));
    EXPECT_EQ("", real.trace + unknown.trace);
}

TEST(Bypassctl, BadInputIsRefusedBeforeAnyPortAccess)
{
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"status", "--type", "12"}, "unknown board type 12; allowed: 0, 1, 2"},
        {{"status", "--simulate", "12"}, "cannot simulate unknown board type 12"},
        {{"status", "--simulate", "ms-96e3"}, "cannot simulate unknown product \"ms-96e3\""},
        {{"wdt", "arm", "--simulate", "6", "--action", "bypass", "--timeout", "ten"}, "--timeout"},
        {{"wdt", "arm", "--simulate", "6", "--action", "reboot", "--timeout", "10"}, "--action"},
        {{"bypass", "sideways", "--simulate", "6"}, "sideways"},
        {{"wdt", "arm", "--simulate", "6", "--action", "bypass", "--timeout", "300"},
            "wrap to Super I/O register 0xF6 = 0x2C (44 s); allowed: 1 to 255 seconds"},
        {{"wdt", "arm", "--simulate", "10", "--action", "bypass", "--timeout", "0"},
            "would stop the watchdog"},
        {{"wdt", "arm", "--simulate", "1", "--action", "bypass", "--timeout", "65"},
            "allowed: 1 to 64 seconds"},
        {{"wdt", "arm", "--simulate", "4", "--action", "restart", "--timeout", "100"},
            "clamped to code 7"},
        {{"keepalive", "--simulate", "6", "--timeout", "30", "--interval", "30"},
            "shorter than the timeout of 30 s"},
        // Code 5 may mean 16 s on the NEXCOM board.
        {{"keepalive", "--simulate", "7", "--timeout", "30", "--interval", "16"},
            "shorter than the 16 s the board may count for the timeout of 30 s"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Ctl(c.args);
        EXPECT_EQ(2, outcome.code) << c.says;
        EXPECT_NE(std::string::npos, outcome.err.find(c.says)) << outcome.err;
        EXPECT_EQ(1, std::count(outcome.err.begin(), outcome.err.end(), '\n')) << outcome.err;
        EXPECT_EQ("", outcome.trace) << c.says;
    }
    const Json json = Ctl({"status", "--type", "12", "--json"}).json();
    EXPECT_EQ(2, json["exit_code"]);
    EXPECT_NE(std::string::npos, json["error"].get<std::string>().find("unknown board type"));
}

TEST(Bypassctl, UnsupportedOperationsAndBoardFailuresHaveTheirExitCodes)
{
    // No watchdog, no bypass hardware, no restart expiry: refused untouched.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"wdt", "stop", "--simulate", "5001"}, {"bypass", "on", "--simulate", "NULL"},
             {"wdt", "arm", "--simulate", "5003", "--action", "restart", "--timeout", "9"}}) {
        const Outcome outcome = Ctl(args);
        EXPECT_EQ(4, outcome.code) << outcome.err;
        EXPECT_EQ("", outcome.trace);
    }
    // The 945GC-MS tool answers -1 to EnableBypass after its whole sequence.
    const Outcome failed = Ctl({"bypass", "on", "--simulate", "5", "--json"});
    EXPECT_EQ(5, failed.code);
    EXPECT_EQ(-1, failed.json()["result"]);
    EXPECT_NE(std::string::npos, failed.err.find("the board answered -1 to EnableBypass"));
    EXPECT_NE(std::string::npos, failed.trace.find("out8 4E AA\nclose\n"));
    // The 945GM-MS tool answers -1 to restart arming after arming in full:
    // the failure still shows the watchdog it left running.
    const Outcome armed
        = Ctl({"wdt", "arm", "--simulate", "MS-9641", "--action", "restart", "--timeout", "10"});
    EXPECT_EQ(5, armed.code);
    EXPECT_NE(std::string::npos,
        armed.out.find("simulated watchdog: running, 10 s left, expiry action restart\n"));

    // A board that is not in the catalogue has nothing this tool can drive.
    g_reportedProduct = "Base Board";
    const auto previous = bypass::SetProductNameSource(ReportedProduct);
    const Outcome unknown = Ctl({"bypass", "off"});
    bypass::SetProductNameSource(previous);
    EXPECT_EQ(4, unknown.code);
    EXPECT_NE(std::string::npos, unknown.err.find("\"Base Board\" is not in the catalogue"));
    EXPECT_EQ("", unknown.trace);
}

TEST(Bypassctl, WatchdogCommandsGiveTheHardwareItsTimeout)
{
    // G41-MS from power-on: the watchdog routed to its pin (0x2D bit 0 as the
    // firmware left it, cleared), device 8 selected, both segments latched to
    // normal (gate bit 7 of 0x48C up), status cleared, then 0x30, 0xF5, 0xF6.
    const Outcome msi
        = Ctl({"wdt", "arm", "--simulate", "MS-96E3", "--action", "bypass", "--timeout", "30"});
    EXPECT_EQ(0, msi.code);
    const std::string strobe
        = "sleep 50\nin8 48F -> 00\nout8 48F 01\nsleep 150\nout8 48F 00\nsleep 100\n";
    EXPECT_EQ("open -> 0\nout8 4E 87\nout8 4E 87\n"
              "out8 4E 2D\nin8 4F -> 01\nout8 4F 00\nout8 4E 07\nout8 4F 08\n"
              "in8 48C -> 80\nin8 48C -> 80\nout8 48C 80\n"
              "in8 4B8 -> 00\nout8 4B8 00\nin8 4B8 -> 00\nout8 4B8 C0\n"
            + strobe
            + "in8 48C -> 80\nin8 48C -> 80\nout8 48C C0\n"
              "in8 4B8 -> C0\nout8 4B8 C0\nin8 4B8 -> C0\nout8 4B8 C0\n"
            + strobe
            + "out8 4E F7\nin8 4F -> 00\nout8 4F 00\nout8 4E 30\nout8 4F 01\n"
              "out8 4E F5\nout8 4F 00\nout8 4E F6\nout8 4F 1E\nout8 4E AA\nclose\n",
        msi.trace);
    EXPECT_NE(std::string::npos, msi.out.find("hardware: Super I/O register 0xF6 = 0x1E (30 s)"));
    EXPECT_NE(
        std::string::npos, msi.out.find("simulated relays: segment 0 normal, segment 1 normal"));
    EXPECT_NE(std::string::npos,
        msi.out.find("simulated watchdog: running, 30 s left, expiry action bypass"));

    const Json nexcom
        = Ctl({"wdt", "arm", "--simulate", "7", "--action", "restart", "--timeout", "30", "--json"})
              .json();
    EXPECT_EQ("port 0xF2 = code 5, the board's step for 16-31 s", nexcom["hardware"]);
    EXPECT_EQ("restart", nexcom["action"]);
    EXPECT_NE(std::string::npos, nexcom["note"].get<std::string>().find("its own logic decides"));

    // Port 0xF2 is 0 at power-on: bypass expiry (bit 4), code 3, which the
    // board counts as 8 s.
    const Outcome c1045 = Ctl(
        {"wdt", "arm", "--simulate", "1", "--action", "restart", "--timeout", "10", "--json"});
    EXPECT_EQ("open -> 0\nin8 F2 -> 00\nout8 F2 0B\nclose\n", c1045.trace);
    EXPECT_EQ(Json::parse(R"({"relays":["normal"],"watchdog":{"running":true,"action":"restart",
        "seconds_left":8},"restarts":0})"),
        c1045.json()["board_state"]);

    // kick and enable use a new tool's stored 5 s; kick takes the action's slot.
    const Outcome kick = Ctl({"wdt", "kick", "--simulate", "6", "--action", "restart", "--json"});
    EXPECT_EQ(5, kick.json()["timeout_seconds"]);
    EXPECT_NE(std::string::npos, kick.trace.find("out8 4E F5\nout8 4F 02\nout8 4E F6\nout8 4F 05"));
    EXPECT_EQ("restart", kick.json()["board_state"]["watchdog"]["action"]);
    EXPECT_EQ(5, kick.json()["board_state"]["watchdog"]["seconds_left"]);
    // The 1045 board's EnableWDT only reads its port: nothing starts.
    const Outcome enable = Ctl({"wdt", "enable", "--simulate", "1"});
    EXPECT_EQ("open -> 0\nin8 F2 -> 00\nclose\n", enable.trace);
    EXPECT_NE(std::string::npos, enable.out.find("hardware: nothing: EnableWDT only reads"));
    EXPECT_NE(std::string::npos, enable.out.find("simulated watchdog: stopped"));
    EXPECT_EQ("open -> 0\nin8 F3 -> 80\nout8 F3 B7\nclose\n",
        Ctl({"wdt", "stop", "--simulate", "7"}).trace);
}

TEST(Bypassctl, BypassAndStatusDriveTheTool)
{
    // The NEXCOM logic powers up with control byte 0x80: ports in normal.
    const Outcome on = Ctl({"bypass", "on", "--simulate", "8", "--json"});
    EXPECT_EQ("open -> 0\nin8 F3 -> 80\nout8 F3 7E\nclose\n", on.trace);
    EXPECT_EQ(0, on.json()["result"]);
    EXPECT_EQ("on", on.json()["bypass"]);
    EXPECT_EQ(Json::array({"bypass"}), on.json()["board_state"]["relays"]);
    EXPECT_EQ(false, on.json()["board_state"]["watchdog"]["running"]);
    // The NEXCOM tool on G41-MS hardware: nothing answers at 0xF3, and the
    // G41 relays stay as they were.
    const Outcome foreign = Ctl({"bypass", "off", "--type", "8", "--simulate", "MS-96E3"});
    EXPECT_EQ("open -> 0\nin8 F3 -> FF\nout8 F3 BE\nclose\n", foreign.trace);
    EXPECT_NE(std::string::npos,
        foreign.out.find("simulated relays: segment 0 normal, segment 1 normal\n"
                         "simulated watchdog: stopped\n"));

    // The 945GM-MS bypass is the force-expiry bit and bits 0-3 of port 0x5E.
    const Json gm = Ctl({"bypass", "on", "--simulate", "MS-9641", "--json"}).json();
    EXPECT_EQ(Json::array({"bypass", "bypass"}), gm["board_state"]["relays"]);

    // The device 7 registers of the H61-MS chip read 0 at power-on.
    const Json h61 = Ctl({"status", "--simulate", "MS-S0391", "--json"}).json();
    EXPECT_EQ("0xf0=0,0xf5=0,0xf6=0", h61["description"]);
    EXPECT_EQ(true, h61["watchdog_supported"]);
    EXPECT_EQ(5, h61["timeout_seconds"]);
    EXPECT_EQ(Json::array({"normal", "normal"}), h61["board_state"]["relays"]);
    const Json lw = Ctl({"status", "--simulate", "5001", "--json"}).json();
    EXPECT_EQ(false, lw["watchdog_supported"]);
    EXPECT_TRUE(lw["description"].is_null());
    EXPECT_EQ("none", lw["board_state"]["watchdog"]["action"]);
    EXPECT_NE(std::string::npos,
        Ctl({"status", "--simulate", "0"}).out.find("simulated relays: none on this board"));
}

TEST(Bypassctl, KeepaliveRearmsUntilStoppedThenStopsTheWatchdog)
{
    CountedStop stop(2);
    const Outcome outcome
        = Ctl({"keepalive", "--simulate", "7", "--timeout", "30", "--json"}, &stop);
    EXPECT_EQ(0, outcome.code);
    EXPECT_TRUE(stop.listening);
    EXPECT_EQ((std::vector<unsigned>{10, 10, 10}), stop.waits);
    const Json json = outcome.json();
    EXPECT_EQ(2, json["rearms"]);
    EXPECT_EQ("stopped", json["watchdog"]);
    // Arm from power-on, two re-arms with code 5, then the normal control byte.
    const std::string rearmed = "in8 F2 -> 05\nout8 F2 05\nin8 F3 -> F7\nout8 F3 F7\n";
    EXPECT_EQ("open -> 0\nin8 F2 -> 00\nout8 F2 05\nin8 F3 -> 80\nout8 F3 F7\n" + rearmed + rearmed
            + "in8 F3 -> F7\nout8 F3 B7\nclose\n",
        outcome.trace);
    EXPECT_EQ(Json::array({"normal"}), json["board_state"]["relays"]);
    EXPECT_EQ(false, json["board_state"]["watchdog"]["running"]);

    CountedStop soon(0);
    const Outcome left = Ctl({"keepalive", "--simulate", "7", "--timeout", "4", "--interval", "3",
                                 "--action", "restart", "--leave-armed"},
        &soon);
    EXPECT_EQ(0, left.code);
    EXPECT_EQ((std::vector<unsigned>{3}), soon.waits);
    EXPECT_EQ("open -> 0\nin8 F2 -> 00\nout8 F2 03\nin8 F3 -> 80\nout8 F3 F7\nclose\n", left.trace);
    EXPECT_NE(std::string::npos, left.out.find("watchdog left armed"));
    EXPECT_NE(std::string::npos, left.out.find("simulated watchdog: running, 4 s left"));

    // The 945GM-MS board answers -1 to restart arming after arming: the
    // watchdog is deactivated again at once and the failure reported.
    CountedStop never(100);
    const Outcome failed
        = Ctl({"keepalive", "--simulate", "3", "--timeout", "9", "--action", "restart", "--json"},
            &never);
    EXPECT_EQ(5, failed.code);
    EXPECT_TRUE(never.waits.empty());
    EXPECT_EQ("stopped", failed.json()["watchdog"]);
    const std::string deactivate = "out8 4E 30\nout8 4F 00\nout8 4E AA\nclose\n";
    EXPECT_EQ(deactivate, failed.trace.substr(failed.trace.size() - deactivate.size()));
}

// The board's time runs through every interval keepalive waits: code 5 makes
// the NEXCOM logic expire after 16 s, so only the re-arms keep the ports out
// of bypass through 50 s.
TEST(Bypassctl, KeepaliveKeepsTheModelledWatchdogFromExpiring)
{
    CountedStop stop(5);
    const Json kept
        = Ctl({"keepalive", "--simulate", "7", "--timeout", "30", "--leave-armed", "--json"}, &stop)
              .json();
    EXPECT_EQ(5, kept["rearms"]);
    EXPECT_EQ(Json::parse(R"({"relays":["normal"],"watchdog":{"running":true,"action":"bypass",
        "seconds_left":16},"restarts":0})"),
        kept["board_state"]);

    // The G41-MS watchdog counts the very seconds it was given, and a
    // restart arming shows no restart while it is re-armed in time.
    CountedStop msiStop(4);
    const Json msi = Ctl({"keepalive", "--simulate", "6", "--timeout", "6", "--interval", "5",
                             "--action", "restart", "--leave-armed", "--json"},
        &msiStop)
                         .json();
    EXPECT_EQ(Json::parse(R"({"relays":["normal","normal"],"watchdog":{"running":true,
        "action":"restart","seconds_left":6},"restarts":0})"),
        msi["board_state"]);
}

} // namespace
} // namespace bypassctl
