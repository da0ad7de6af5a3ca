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

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kUnderAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

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

// The command lines and what each gives, from bypassctl-rows.json: args,
// the exit code, "says" somewhere in what it prints, with --json the
// values at the "json" pointers, and the port traffic of exit 2 and 4
// ("trace", none unless given).
Json Rows()
{
    Json rows = Json::parse(std::ifstream(BYPASS_TEST_DIR "/tools/bypassctl-rows.json"));
    // A product name that is no UTF-8, which the file cannot hold.
    rows.push_back({{"args", {"status", "--simulate", "\xff"}}, {"code", 2},
        {"says", "cannot simulate unknown product"}, {"json", {{"/exit_code", 2}}}});
    return rows;
}

TEST(Bypassctl, CommandLinesGiveTheirExitCodeTextAndReport)
{
    for (const Json& row : Rows()) {
        Args args = row["args"];
        const int code = row["code"];
        std::string line;
        for (const auto& arg : args)
            line += arg + " ";
        const Outcome text = Ctl(args);
        EXPECT_EQ(code, text.code) << line << "\n" << text.text;
        EXPECT_NE(text.text.find(row.value("says", "")), std::string::npos) << line << "\n"
                                                                            << text.text;
        if (code == kExitUsage || code == kExitUnsupported) {
            EXPECT_EQ(text.trace, row.value("trace", "")) << line;
        }
        if (!row.contains("json"))
            continue;
        args.push_back("--json");
        const Outcome report = Ctl(args);
        const Json json = Json::parse(report.out);
        EXPECT_EQ(code, report.code) << line;
        for (const auto& [pointer, value] : row["json"].items())
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
    // AddressSanitizer's quarantine keeps freed memory resident on purpose.
    if (!kUnderAddressSanitizer) {
        EXPECT_LT(last.residentKb - settled.residentKb, 64);
    }
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
