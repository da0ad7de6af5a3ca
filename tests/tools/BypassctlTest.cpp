// bypassctl's command lines run in-process against simulated boards, each
// from the board's power-on state: the exit code, the key text it prints,
// the fields of its JSON report, and that refused input touches no port.
#include "cli/Cli.h"
#include "platform/TextConv.h"

#include "framework/BaseboardQuery.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include <unistd.h>
#if defined(_WIN32)
#include "platform/ConsoleApi.h"
#endif

namespace bypassctl {
namespace {

using Json = nlohmann::json;
using Args = std::vector<std::string>;

// The simulated boards' locks in a directory of this process's own: a test
// process running beside it whose keepalive owns its watchdog owns no other.
struct OwnLockDirectory : testing::Environment {
    const std::filesystem::path dir
        = std::filesystem::temp_directory_path() / ("bypassctl-test-" + std::to_string(getpid()));
    void TearDown() override { std::filesystem::remove_all(dir); }
    void SetUp() override
    {
        std::filesystem::create_directories(dir);
#if defined(_WIN32)
        _putenv_s("BYPASSCTL_LOCK_DIR", dir.string().c_str());
#else
        setenv("BYPASSCTL_LOCK_DIR", dir.c_str(), 1);
#endif
    }
};
testing::Environment* const kOwnLockDirectory
    = testing::AddGlobalTestEnvironment(new OwnLockDirectory);

// Stops keepalive after a number of waits, and remembers how long each was;
// onWait plays the host between waits (its argument counts them from 1).
class CountedStop : public StopSignal {
public:
    explicit CountedStop(int waitsBeforeStop = 0)
        : m_waitsBeforeStop(waitsBeforeStop)
    {
    }
    void Listen() override { }
    bool WaitFor(unsigned seconds) override
    {
        waits.push_back(seconds);
        if (onWait)
            onWait(static_cast<int>(waits.size()));
        return static_cast<int>(waits.size()) > m_waitsBeforeStop;
    }
    std::vector<unsigned> waits;
    std::function<void(int)> onWait;

private:
    int m_waitsBeforeStop;
};

// Keeps keepalive's events: each log line after its priority, and what a
// service manager hears.
struct RecordingSupervisor : Supervisor {
    void Log(Priority priority, const std::string& line) override
    {
        lines.push_back(std::to_string(static_cast<int>(priority)) + " " + line);
    }
    void Ready() override { lines.push_back("ready"); }
    void Alive() override { ++alive; }
    void Stopping() override { lines.push_back("stopping"); }
    std::vector<std::string> lines;
    int alive = 0;
};

struct Outcome {
    int code;
    std::string text; // standard output, then standard error
    std::string out;
    std::string trace;
};

Outcome Ctl(Args args, StopSignal* stop = nullptr, const std::string& moduleDir = "no-such-dir",
    Supervisor* supervisor = nullptr)
{
    CountedStop noStop;
    RecordingSupervisor quiet;
    std::ostringstream out, err;
    std::FILE* trace = std::tmpfile();
    Console console{
        out, err, trace, stop ? *stop : noStop, supervisor ? *supervisor : quiet, moduleDir};
    args.push_back("--trace");          // so that a test can tell there was no port traffic
    testing::internal::CaptureStdout(); // what the library prints itself
    const int code = RunBypassctl(args, console);
    const std::string stdoutText = testing::internal::GetCapturedStdout() + out.str();
    std::string traffic;
    std::rewind(trace);
    for (int c = std::fgetc(trace); c != EOF; c = std::fgetc(trace))
        traffic += static_cast<char>(c);
    std::fclose(trace);
    return {code, stdoutText + err.str(), stdoutText, traffic};
}

struct Row {
    Args args;
    int code;
    std::string says;                               // somewhere in what it prints
    std::vector<std::pair<const char*, Json>> json; // with --json: pointer and value
    const char* trace = "";                         // the port traffic of exit 2 and 4
};

const Row kRows[] = {
    {{"list"}, 0, "6     MS-96E3          2,2    B3/B4",
        {{"/boards/7/tool", "C_G41_BypassTool_MS"}, {"/boards/7/description", "G41-MS(微星)平台"},
            {"/boards/1/model", "没有BYPASS"}, {"/boards/0/tool", nullptr},
            {"/boards/8/extra1", 3}}},
    {{"identify", "--simulate", "MS-96C4"}, 0, "C_945GC_BypassTool_MS",
        {{"/product", "MS-96C4"}, {"/type", 5}, {"/simulated", true}}},
    {{"keepalive", "--help"}, 0, "Exit codes: 0 done; 2 bad usage", {}},
    {{"wdt", "stop", "--help"}, 0, "Global options (before or after the command):\n  --version",
        {}},
    // --version and --help honour --json: one object with the text.
    {{"--version"}, 0, "bypassctl 1.", {{"/command", nullptr}}},
    {{"wdt", "--help"}, 0, "drive the watchdog", {{"/command", "wdt"}}},
    // With a board, a timed command's help gives its timeouts.
    {{"keepalive", "--help", "--simulate", "4"}, 0, "board type 4 (D525-NEXCOM): 1 to 64 seconds;",
        {}},
    {{"status", "foo", "--simulate", "6", "bar"}, 2, "unexpected arguments: foo bar", {}},
    // Refused before any port access.
    {{"--simulate", "6"}, 2, "A subcommand is required", {}},
    {{"bypas", "on", "--simulate", "6"}, 2, "unknown command 'bypas' (did you mean 'bypass'?)", {}},
    // Numbers are decimal: no octal, no hex, no empty value taken as 0.
    {{"wdt", "arm", "--simulate", "6", "--action", "bypass", "--timeout", "030"}, 2,
        "'030' is not a decimal number", {}},
    {{"wdt", "arm", "--simulate", "6", "--action", "bypass", "--timeout", "0x1E"}, 2,
        "'0x1E' is not a decimal number", {}},
    {{"wdt", "arm", "--simulate", "6", "--action", "bypass", "--timeout", ""}, 2,
        "'' is not a decimal number", {}},
    {{"status", "--type", "010", "--simulate", "6"}, 2, "'010' is not a decimal number",
        {{"/command", "status"}}},
    {{"--simulate", "6", "wdt", "amr", "--timeout", "5"}, 2,
        "unknown command 'wdt amr' (did you mean 'wdt arm'?)", {}},
    {{"status", "--type", "12"}, 2, "unknown board type 12; allowed: 0, 1, 2", {{"/exit_code", 2}}},
    {{"status", "--simulate", "12"}, 2, "cannot simulate unknown board type 12", {}},
    {{"identify", "--simulate", ""}, 2, "names no board: an empty value would drive", {}},
    {{"status", "--simulate", "ms-96e3"}, 2, "cannot simulate unknown product \"ms-96e3\"", {}},
    {{"status", "--simulate", "\xff"}, 2, "cannot simulate unknown product", {{"/exit_code", 2}}},
    {{"wdt", "arm", "--simulate", "6", "--action", "reboot", "--timeout", "10"}, 2, "--action", {}},
    {{"bypass", "sideways", "--simulate", "6"}, 2, "sideways", {}},
    // The one-byte counter of the MSI boards: 1 to 255 s.
    {{"wdt", "arm", "--simulate", "6", "--action", "bypass", "--timeout", "0"}, 2,
        "would stop the watchdog", {}},
    {{"wdt", "arm", "--simulate", "6", "--action", "bypass", "--timeout", "1"}, 0,
        "0xF6 = 0x01 (1 s)", {}},
    {{"wdt", "arm", "--simulate", "6", "--action", "bypass", "--timeout", "255"}, 0,
        "0xF6 = 0xFF (255 s)", {}},
    {{"wdt", "arm", "--simulate", "6", "--action", "bypass", "--timeout", "256"}, 2,
        "wrap to Super I/O register 0xF6 = 0x00 (0 s)", {}},
    {{"wdt", "arm", "--simulate", "6", "--action", "bypass", "--timeout", "300"}, 2,
        "wrap to Super I/O register 0xF6 = 0x2C (44 s); allowed: 1 to 255 seconds", {}},
    // The largest codes: 64 s on the 1045 and D525-NEXCOM logic.
    {{"wdt", "arm", "--simulate", "1", "--action", "bypass", "--timeout", "64"}, 0, "code 0", {}},
    {{"wdt", "arm", "--simulate", "1", "--action", "bypass", "--timeout", "65"}, 2,
        "allowed: 1 to 64 seconds", {}},
    {{"wdt", "arm", "--simulate", "4", "--action", "restart", "--timeout", "64"}, 0, "code 7", {}},
    {{"wdt", "arm", "--simulate", "4", "--action", "restart", "--timeout", "65"}, 2,
        "clamped to code 7", {}},
    {{"keepalive", "--simulate", "6", "--timeout", "30", "--interval", "30"}, 2,
        "shorter than the timeout of 30 s", {}},
    {{"keepalive", "--simulate", "6", "--timeout", "30", "--interval", "0"}, 2,
        "interval 0 s must be at least 1 s", {}},
    // A check may take its whole time before the re-arm: interval and check
    // timeout must fit inside what the hardware counts, 16 s for 30 here.
    {{"keepalive", "--simulate", "7", "--timeout", "30", "--interval", "12", "--pidfile", "p",
         "--check-timeout", "4"},
        2, "interval 12 s plus --check-timeout 4 s must be shorter than the 16 s the board", {}},
    {{"keepalive", "--simulate", "7", "--timeout", "30", "--interval", "11", "--pidfile", "p",
         "--check-timeout", "4"},
        0, "health checks: pid file p", {}},
    // A default check timeout fits the interval given; one given is judged.
    {{"keepalive", "--simulate", "6", "--timeout", "30", "--interval", "1", "--check", "exit 0"}, 0,
        "", {{"/check_timeout_seconds", 0.5}}},
    {{"keepalive", "--simulate", "6", "--timeout", "30", "--interval", "1", "--check", "exit 0",
         "--check-timeout", "1"},
        2, "--check-timeout 1 s must be at least 1 s and shorter than the interval of 1 s", {}},
    {{"keepalive", "--simulate", "6", "--timeout", "8", "--interval", "6", "--pidfile", "p"}, 0, "",
        {{"/check_timeout_seconds", 1}, {"/outcome", "stopped"}}},
    {{"keepalive", "--simulate", "6", "--timeout", "30", "--max-failures", "0"}, 2,
        "max failures 0 must be at least 1", {}},
    {{"keepalive", "--simulate", "6", "--timeout", "30", "--check", " "}, 2, "names nothing", {}},
    // The NEXCOM logic counts codes up to 7.
    {{"wdt", "kick", "--simulate", "7", "--action", "bypass", "--timeout", "2000000000"}, 2,
        "is longer than the board's logic is known to count; allowed: 1 to 127 seconds", {}},
    // Code 5 may mean 16 s on the NEXCOM board.
    {{"keepalive", "--simulate", "7", "--timeout", "30", "--interval", "16"}, 2,
        "shorter than the 16 s the board may count for the timeout of 30 s", {}},
    // No watchdog, no bypass hardware, no restart expiry.
    {{"wdt", "stop", "--simulate", "5001"}, 4, "", {}},
    {{"wdt", "kick", "--simulate", "5001", "--action", "bypass", "--timeout", "5"}, 4,
        "board type 5001 has no watchdog", {}},
    {{"bypass", "on", "--simulate", "NULL"}, 4, "", {}},
    {{"wdt", "arm", "--simulate", "5003", "--action", "restart", "--timeout", "9"}, 4, "", {}},
    {{"wdt", "kick", "--simulate", "5003", "--action", "restart", "--timeout", "9"}, 4,
        "cannot arm its watchdog to restart the system", {}},
    {{"wdt", "arm", "--simulate", "8", "--action", "restart", "--timeout", "9"}, 4,
        "its logic puts the ports into bypass on expiry", {}},
    // The D525-NEXCOM board's DisableWDT touches no port.
    {{"wdt", "stop", "--simulate", "4"}, 4, "cannot stop its watchdog", {}},
    {{"wdt", "stop", "--simulate", "5002"}, 4,
        "would deactivate logical device 0, not the watchdog", {{"/selected_device", 0}},
        "open -> 0\nout8 4E 87\nout8 4E 87\nout8 4E 07\nin8 4F -> 00\nout8 4E AA\nclose\n"},
    {{"keepalive", "--simulate", "4", "--timeout", "30"}, 0,
        "cannot stop its watchdog with DisableWDT, only bypass off stops it (DisableWDT: nothing",
        {{"/watchdog", "armed"}, {"/board_state/watchdog/running", true}}},
    // --on-stop bypass stops the watchdog before the bypass switch, which on
    // the MSI boards forces the expiry of an armed watchdog: a restart.
    {{"keepalive", "--simulate", "6", "--timeout", "30", "--action", "restart", "--on-stop",
         "bypass"},
        0, "watchdog stopped; ports put into bypass",
        {{"/bypass", "on"}, {"/board_state/restarts", 0}, {"/board_state/relays/0", "bypass"},
            {"/board_state/watchdog/running", false}}},
    {{"keepalive", "--simulate", "5002", "--timeout", "30", "--action", "restart", "--on-stop",
         "bypass"},
        0, "", {{"/board_state/restarts", 0}, {"/board_state/relays/0", "bypass"}}},
    {{"keepalive", "--simulate", "3", "--timeout", "30", "--on-stop", "bypass"}, 0, "",
        {{"/board_state/relays/0", "bypass"}, {"/board_state/watchdog/running", false}}},
    {{"keepalive", "--simulate", "4", "--timeout", "30", "--on-stop", "bypass"}, 0, "",
        {{"/bypass", "on"}, {"/board_state/relays/0", "bypass"}}},
    {{"keepalive", "--simulate", "6", "--timeout", "30", "--on-stop", "leave", "--leave-armed"}, 2,
        "excludes", {}},
    // EnableWDT starts nothing from a new process: it reads, or counts
    // minutes to no end.
    {{"wdt", "enable", "--simulate", "1"}, 4, "only reads port 0xF2", {}},
    {{"wdt", "enable", "--simulate", "LX-H61NS"}, 4, "counts 5 minutes, expiry routed nowhere", {}},
    {{"wdt", "enable", "--simulate", "4"}, 0, "watchdog started: 4 s on the hardware (5 s asked)",
        {{"/hardware_seconds", 4}, {"/board_state/watchdog/seconds_left", 4}}},
    {{"wdt", "kick", "--simulate", "6"}, 2, "wdt kick needs --timeout", {}},
    {{"wdt", "kick", "--simulate", "6", "--timeout", "60"}, 2, "wdt kick needs --action", {}},
    // Boards whose operation answers -1 after its whole sequence.
    {{"bypass", "on", "--simulate", "5"}, 5,
        "the board answered -1 to EnableBypass; the relays switched anyway: bypass on: the ports "
        "are joined",
        {{"/result", -1}, {"/board_state/relays", Json::array({"bypass", "bypass"})}}},
    {{"wdt", "arm", "--simulate", "MS-9641", "--action", "restart", "--timeout", "30"}, 5,
        "the board answered -1 to SetWDTTimeout_ResartSys; the watchdog is armed anyway: 30 s, "
        "expiry restarts the system",
        {{"/board_state/watchdog/seconds_left", 30}}},
    // Each report tells what the switch did to the watchdog too: stopped,
    // or a join still pending on a short watchdog.
    {{"bypass", "off", "--simulate", "6"}, 0,
        "bypass off: traffic passes through this machine; the watchdog is stopped too",
        {{"/watchdog_effect", "stops"}}},
    {{"bypass", "on", "--simulate", "1"}, 0, "bypass on: pending, not yet joined",
        {{"/pending", true}, {"/board_state/relays", Json::array({"normal"})}}},
    // D525-NEXCOM: wdt stop stops neither of its watchdogs.
    {{"wdt", "arm", "--simulate", "4", "--action", "restart", "--timeout", "20"}, 0,
        "wdt stop cannot stop this watchdog; nothing stops it", {}},
    // --type names a tool, not the hardware: the board's product tells.
    {{"bypass", "on", "--type", "7", "--simulate", "6"}, 0,
        "warning: --type 7 on a board that reports product \"MS-96E3\", which is board type 6",
        {{"/warning",
            "--type 7 on a board that reports product \"MS-96E3\", which is board type 6: the "
            "tool of type 7 may not drive this hardware, and what it reports may not have "
            "happened"}}},
    // What the hardware got, and the simulated board after it.
    {{"wdt", "arm", "--simulate", "MS-96E3", "--action", "bypass", "--timeout", "30"}, 0,
        "simulated watchdog: running, 30 s left, expiry action bypass",
        {{"/hardware", "Super I/O register 0xF6 = 0x1E (30 s)"},
            {"/board_state/relays", Json::array({"normal", "normal"})}}},
    {{"wdt", "arm", "--simulate", "7", "--action", "bypass", "--timeout", "30"}, 0,
        "watchdog armed: 16 s on the hardware (30 s asked), expiry puts the ports into bypass",
        {{"/hardware", "port 0xF2 = code 5, the board's step for 16-31 s"},
            {"/hardware_seconds", 16}}},
    // The restart watchdog's chip counts the code in seconds.
    {{"wdt", "arm", "--simulate", "4", "--action", "restart", "--timeout", "30"}, 0,
        "watchdog armed: 5 s on the hardware (30 s asked), expiry restarts the system",
        {{"/hardware_seconds", 5}, {"/board_state/watchdog/seconds_left", 5},
            {"/hardware", "Super I/O register 0x73 = code 5, which the chip counts as 5 s"}}},
    // The IT87's count of seconds on the Q35 board.
    {{"wdt", "arm", "--simulate", "2", "--action", "bypass", "--timeout", "30"}, 0,
        "hardware: Super I/O register 0x73 = 0x1E (30 s)", {}},
    // Port 0xF2 is 0 at power-on: bypass expiry, code 3, which counts 8 s.
    {{"wdt", "arm", "--simulate", "1", "--action", "restart", "--timeout", "10"}, 0,
        "watchdog armed: 8 s on the hardware (10 s asked), expiry restarts the system",
        {{"/board_state/watchdog/seconds_left", 8}, {"/board_state/watchdog/action", "restart"}}},
    // kick re-arms with the timeout given, through the action's slot.
    {{"wdt", "kick", "--simulate", "6", "--action", "restart", "--timeout", "60"}, 0, "",
        {{"/timeout_seconds", 60}, {"/board_state/watchdog/action", "restart"},
            {"/board_state/watchdog/seconds_left", 60}}},
    // The NEXCOM tool on G41-MS hardware moves no G41 relay.
    {{"bypass", "off", "--type", "8", "--simulate", "MS-96E3"}, 0,
        "simulated relays: segment 0 normal, segment 1 normal\nsimulated watchdog: stopped\n", {}},
    {{"status", "--simulate", "MS-S0391"}, 0, "read back: not enabled, not expired",
        {{"/description", "0xf0=0,0xf5=0,0xf6=0"}, {"/watchdog_supported", true},
            {"/description_words",
                "not armed (0xF0 bits 7 and 0 clear), watchdog disabled (0xF5 bit 5 clear), not "
                "expired (0xF5 bit 6 clear), count 0 (0xF6)"},
            {"/timeout_seconds", 5}, {"/readback/seconds_left", nullptr}}},
    // What the chip tells: a counter that counts down, or one that keeps
    // what was written, or nothing readable.
    {{"status", "--simulate", "6"}, 0, "read back: not enabled, not expired",
        {{"/readback/seconds_left", nullptr}, {"/readback/programmed_seconds", nullptr},
            {"/port_path", "simulated board (no ports)"}, {"/readback/restarts", false},
            {"/readback/fires_again_only_once_cleared", "0xF7 bit 4"}}},
    {{"status", "--simulate", "10"}, 0, "read back: programmed 0 s (stopped), not expired",
        {{"/readback/programmed_seconds", 0}, {"/readback/enabled", nullptr}}},
    {{"status", "--simulate", "4"}, 0, "read back: not readable on this board",
        {{"/readback/readable", false}}},
    {{"status", "--simulate", "5001"}, 0, "",
        {{"/watchdog_supported", false}, {"/description", nullptr},
            {"/board_state/watchdog/action", "none"}}},
    {{"status", "--simulate", "0"}, 0, "simulated relays: none on this board", {}},
    // The library's own line stays out of the JSON object.
    {{"bypass", "on", "--simulate", "5003"}, 0, "probe_smbus_controller = F000", {{"/type", 5003}}},
};

TEST(Bypassctl, CommandLinesGiveTheirExitCodeTextAndReport)
{
    for (const Row& row : kRows) {
        std::string line;
        for (const auto& arg : row.args)
            line += arg + " ";
        const Outcome text = Ctl(row.args);
        EXPECT_EQ(row.code, text.code) << line << "\n" << text.text;
        EXPECT_NE(text.text.find(row.says), std::string::npos) << line << "\n" << text.text;
        if (row.code == kExitUsage || row.code == kExitUnsupported) {
            EXPECT_EQ(text.trace, row.trace) << line;
        }
        if (row.json.empty())
            continue;
        Args args = row.args;
        args.push_back("--json");
        const Outcome report = Ctl(args);
        const Json json = Json::parse(report.out);
        EXPECT_EQ(row.code, report.code) << line;
        for (const auto& [pointer, value] : row.json)
            EXPECT_EQ(json.value(Json::json_pointer(pointer), Json()), value) << line << pointer;
    }
}

std::string g_reportedProduct;
std::string ReportedProduct() { return g_reportedProduct; }

TEST(Bypassctl, IdentifyWarnsOfKernelWatchdogsAndRefusesUnknownBoards)
{
    const auto modules = std::filesystem::temp_directory_path() / "bypassctl-modules";
    std::filesystem::create_directories(modules / "it87_wdt");
    const auto previous = bypass::SetProductNameSource(ReportedProduct);
    g_reportedProduct = "LX-H61NS";
    const Outcome real = Ctl({"identify", "--json"}, nullptr, modules.string());
    g_reportedProduct = "Base Board";
    const Outcome unknown = Ctl({"identify"});
    g_reportedProduct = "";
    const Outcome nameless = Ctl({"bypass", "off"});
    bypass::SetProductNameSource(previous);
    std::filesystem::remove_all(modules);

    EXPECT_EQ(Json::parse(real.out)["type"], 10);
#if !defined(_WIN32)
    EXPECT_EQ(Json::parse(real.out)["kernel_watchdog_modules"], Json::array({"it87_wdt"}));
    EXPECT_NE(real.text.find("kernel module it87_wdt is loaded"), std::string::npos);
    EXPECT_NE(nameless.text.find("/sys/class/dmi/id/board_name is"), std::string::npos);
#endif
    EXPECT_EQ(unknown.code, kExitUnsupported);
    EXPECT_NE(unknown.text.find("\"Base Board\" is not in the catalogue"), std::string::npos);
    EXPECT_EQ(nameless.code, kExitUnsupported);
    EXPECT_EQ(real.trace + unknown.trace + nameless.trace, "");
}

Json ReadJson(const std::string& path) { return Json::parse(std::ifstream(path)); }

TEST(Bypassctl, KeepaliveRearmsEveryThirdOfTheHardwareCountUntilStoppedThenStops)
{
    CountedStop stop(2);
    RecordingSupervisor log;
    const std::string status
        = (std::filesystem::temp_directory_path() / "keepalive-state").string();
    const Outcome kept = Ctl(
        {"keepalive", "--simulate", "7", "--timeout", "30", "--json", "--status-file", status},
        &stop, "no-such-dir", &log);
    EXPECT_EQ(kept.code, 0);
    // The start, ready, stopping, and the stop's line (the rounds' own lines
    // are the rounds' test's matter).
    ASSERT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(log.lines[0][0] + log.lines[1] + log.lines[2] + log.lines[3][0], "5readystopping5");
    EXPECT_EQ(log.alive, 2);
    EXPECT_EQ(ReadJson(status)["state"], "stopped");
    EXPECT_EQ(ReadJson(status)["board_state"]["watchdog"]["running"], false);
    std::filesystem::remove(status);
    EXPECT_EQ(stop.waits, (std::vector<unsigned>{5, 5, 5}));
    EXPECT_EQ(Json::parse(kept.out)["rearms"], 2);
    // two re-arms with code 5, then the normal control byte
    EXPECT_NE(kept.trace.find("out8 F3 F7\nin8 F2 -> 05\nout8 F2 05\nin8 F3 -> F7\nout8 F3 F7\n"
                              "in8 F2 -> 05\nout8 F2 05\nin8 F3 -> F7\nout8 F3 F7\n"
                              "in8 F3 -> F7\nout8 F3 B7\nclose\n"),
        std::string::npos)
        << kept.trace;

    CountedStop soon(0);
    const Outcome left = Ctl(
        {"keepalive", "--simulate", "7", "--timeout", "4", "--interval", "3", "--leave-armed"},
        &soon);
    EXPECT_EQ(soon.waits, (std::vector<unsigned>{3}));
    EXPECT_NE(left.text.find("simulated watchdog: running, 4 s left"), std::string::npos);

    // The 945GM-MS board answers -1 to restart arming: the watchdog is
    // deactivated again at once and the failure reported.
    CountedStop never(100);
    const Outcome failed
        = Ctl({"keepalive", "--simulate", "3", "--timeout", "9", "--action", "restart"}, &never);
    EXPECT_EQ(failed.code, kExitBoardFailed);
    EXPECT_TRUE(never.waits.empty());
    const std::string deactivate = "out8 4E 30\nout8 4F 00\nout8 4E AA\nclose\n";
    EXPECT_EQ(failed.trace.substr(failed.trace.size() - deactivate.size()), deactivate);
}

// The host's health as the pid file shows it: this test's process while
// the round's entry in healthy is '+', a missing file otherwise.
void PlayHost(CountedStop& stop, const std::string& pidFile, const std::string& healthy)
{
    stop.onWait = [pidFile, healthy](int wait) {
        const std::size_t round = static_cast<std::size_t>(wait) - 1;
        if (round < healthy.size() && healthy[round] == '+')
            std::ofstream(pidFile) << getpid() << "\n";
        else
            std::filesystem::remove(pidFile);
    };
}

#if !defined(_WIN32)
// What a daemon running for years must not grow.
struct Footprint {
    long descriptors = 0;
    long residentKb = 0;
};

Footprint OwnFootprint()
{
    Footprint now;
    for ([[maybe_unused]] const auto& fd : std::filesystem::directory_iterator("/proc/self/fd"))
        ++now.descriptors;
    std::ifstream status("/proc/self/status");
    for (std::string key; status >> key;)
        if (key == "VmRSS:")
            status >> now.residentKb;
    return now;
}
#endif

TEST(Bypassctl, KeepaliveLetsTheWatchdogExpireOnlyWhenTheHealthChecksFail)
{
    const auto dir = std::filesystem::temp_directory_path() / "bypassctl-health";
    std::filesystem::create_directories(dir);
    const std::string pidFile = (dir / "host.pid").string(), status = (dir / "state").string();
    const Args common = {"keepalive", "--timeout", "9", "--interval", "3", "--pidfile", pidFile,
        "--status-file", status, "--json"};

    // Bypass: healthy, failing (re-arming stops), healthy again before the
    // 9 s ran out (armed again with the full 0x09), then failing for good:
    // the model expires 9 s after the recovery, and keepalive sees it then.
    CountedStop bypassStop(100);
    PlayHost(bypassStop, pidFile, "+-+");
    std::ofstream(pidFile) << getpid() << "\n"; // the start's checks pass
    RecordingSupervisor bypassLog;
    Args args = common;
    args.insert(args.end(), {"--simulate", "6"});
    const Outcome bypass = Ctl(args, &bypassStop, "no-such-dir", &bypassLog);
    const Json bypassReport = Json::parse(bypass.out);
    EXPECT_EQ(bypass.code, kExitExpired) << bypass.text;
    EXPECT_EQ(bypassLog.alive, 6);
    const std::regex fullArming("out8 4E F6\nout8 4F 09\n");
    EXPECT_EQ(
        std::distance(std::sregex_iterator(bypass.trace.begin(), bypass.trace.end(), fullArming),
            std::sregex_iterator()),
        3)
        << bypass.trace;
    EXPECT_EQ(bypassReport["board_state"]["relays"], Json::array({"bypass", "bypass"}));
    EXPECT_EQ(bypassReport["rounds"], 6);
    EXPECT_EQ(bypassReport["failed_rounds"], 4);
    EXPECT_EQ(bypassReport["watchdog"], "expired");
    EXPECT_NE(bypassLog.lines[2].find(pidFile), std::string::npos);
    EXPECT_NE(bypassLog.lines[4].find("armed again with the full 9 s"), std::string::npos);
    EXPECT_EQ(ReadJson(status)["state"], "expired");
    EXPECT_EQ(ReadJson(status)["board_state"]["relays"], Json::array({"bypass", "bypass"}));

#if !defined(_WIN32)
    // Healthy for hundreds of rounds with a command, the pid file, the
    // status and the metrics file: never an expiry, and once the first
    // rounds have settled, not one descriptor and next to no memory more
    // (a leak of 1 kB a round shows).
    constexpr int kRounds = 250;
    CountedStop longStop(kRounds);
    Footprint settled, last;
    longStop.onWait = [&](int wait) {
        if (wait == 50)
            settled = OwnFootprint();
        else if (wait > kRounds)
            last = OwnFootprint();
    };
    std::ofstream(pidFile) << getpid() << "\n";
    args = common;
    args.insert(args.end(),
        {"--simulate", "6", "--check", "exit 0", "--metrics-file", (dir / "metrics").string()});
    const Outcome longRun = Ctl(args, &longStop);
    EXPECT_EQ(longRun.code, 0) << longRun.text;
    EXPECT_EQ(Json::parse(longRun.out)["rearms"], kRounds);
    EXPECT_EQ(last.descriptors, settled.descriptors);
    EXPECT_LT(last.residentKb - settled.residentKb, 64);
#endif
    std::filesystem::remove_all(dir);
}

#if defined(_WIN32)
// A console: GetConsoleMode succeeds, and WriteConsoleW shows its characters.
std::wstring g_shown;
const ConsoleApi kConsole = {[](void*, unsigned long*) { return 1; },
    [](void*, const void* text, unsigned long count, unsigned long* written, void*) {
        return g_shown.append(static_cast<const wchar_t*>(text), *written = count), 1;
    }};

// The catalogue's UTF-8 text reaches a console as characters, also when a
// flush falls inside one; none of it goes to the stream's bytes.
TEST(Bypassctl, ConsoleShowsUtf8TextAsCharacters)
{
    std::ostringstream bytes;
    {
        const bypass::ScopedCalls<ConsoleApi> fake(kConsole);
        const ConsoleText console(bytes, false);
        bytes << "G41-MS(\xE5\xBE" << std::flush << "\xAE\xE6\x98\x9F)\n";
    }
    EXPECT_EQ(g_shown, L"G41-MS(\u5FAE\u661F)\n");
    EXPECT_EQ(bytes.str(), "");
}
#endif

} // namespace
} // namespace bypassctl
