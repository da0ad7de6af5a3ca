// keepalive: arms the watchdog, then each interval asks the host's health
// checks and re-arms only while they pass. When they keep failing it stops
// re-arming and lets the watchdog expire into its action (bypass or
// restart), the failure the watchdog is there to catch; when they pass again
// before that, it arms again with the full timeout. A stop request disarms,
// leaves the watchdog armed or puts the ports into bypass (--on-stop); a
// crash of keepalive leaves the watchdog armed.
#include "board/BoardClock.h"
#include "boards/BoardTable.h"
#include "commands/KeepalivePlan.h"
#include "commands/WatchdogOperations.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "supervise/KeepaliveRounds.h"
#include "supervise/Metrics.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>

namespace bypassctl {
namespace {

const char* EndingName(Ending ending)
{
    switch (ending) {
    case Ending::Stopped:
        return "stopped";
    case Ending::Expired:
        return "expired";
    default:
        return "board failed";
    }
}

// How the report and the log end a stop that put the ports into bypass.
std::string BypassNote(bool bypassed, int result, const char* done)
{
    if (!bypassed)
        return "";
    return result < 0 ? "; the ports could not be put into bypass" : done;
}

// One keepalive from its arming to its end: the rounds on this session's
// board, and what they tell the report and the status file on the way.
class KeepaliveRun : public RoundsBoard {
public:
    KeepaliveRun(Context& context, BoardSession& session, const KeepalivePlan& plan)
        : m_context(context)
        , m_options(context.options)
        , m_session(session)
        , m_plan(plan)
        , m_clock(session.Simulator(), context.console.stop)
        , m_checks(m_checkResults.Record(
              MakeChecks(m_options.checks, m_options.pidFiles, m_options.processes)))
        , m_roundsPlan{plan.timeout.hardwareSeconds, plan.interval, plan.checkBudgetMs,
              plan.startGrace, plan.maxFailures, m_options.verbose, Expiry(),
              ExpiryText(m_options.action)}
        , m_rounds(*this, m_checks, m_roundsPlan, context.console.supervisor)
    {
    }

    // "16 s on the hardware (30 s asked), expiry puts the ports into bypass"
    std::string Expiry() const
    {
        return HardwareSeconds(m_options.timeout, m_plan.timeout) + ", "
            + ExpiryText(m_options.action);
    }
    // Arms, then goes round until a stop request, the watchdog's expiry or
    // the board's failure.
    Ending Run();
    // Reports how it ended; a failure or the expiry ends the command.
    void Finish(Ending ending);

    bool Arm() override
    {
        RecordCount();
        return Call(bypassctl::Arm(m_options.action, static_cast<int>(m_options.timeout)));
    }
    bool Rearm() override;
    unsigned long long NowMs() const override { return m_clock.NowMs(); }
    bool WaitInterval(int seconds) override { return m_clock.WaitInterval(seconds); }
    void StateChanged(const char* state) override { WriteStatus(state); }
    // A simulated board starts each process at power-on: no count carries over.
    unsigned long long EarlierCountMsLeft() override
    {
        return m_session.Simulator() ? 0 : m_session.Lock().RecordedCountMsLeft();
    }

private:
    bool Call(const BoardOperation& operation);
    // Records the count an arming is about to start, for a keepalive that
    // follows. Before the arming, not after: a keepalive killed between the
    // two would leave the record of the arming before, a whole interval
    // older than the count the board runs, and a restart over a failing host
    // would take that count for over and arm it again, past the fail-safe
    // bound. Recorded first, the record is at most the arming's own
    // milliseconds older, or it is newer and the board's count ends first.
    void RecordCount()
    {
        m_session.Lock().RecordCount(
            static_cast<unsigned long long>(m_plan.timeout.hardwareSeconds) * 1000);
    }
    void Expire();
    void StopOrLeave(Ending ending);
    bool MayBypass(bool armed);
    int Bypass();
    void LeaveUnarmed();
    void Log(Priority priority, const std::string& line)
    {
        m_context.console.supervisor.Log(priority, line);
    }
    void WriteStatus(const char* state, bool counting = true);
    void WriteMetrics(const char* state, bool counting);

    Context& m_context;
    const Options& m_options;
    BoardSession& m_session;
    const KeepalivePlan& m_plan;
    BoardClock m_clock;
    CheckResults m_checkResults;
    Checks m_checks;
    RoundsPlan m_roundsPlan;
    KeepaliveRounds m_rounds;
    int m_result = 0;
    const char* m_failed = nullptr; // the board operation that answered a failure
};

Ending KeepaliveRun::Run()
{
    if (!m_rounds.Start())
        return Ending::BoardFailed;
    if (!m_rounds.Armed())
        return m_rounds.Run();
    m_context.report.Say("watchdog armed: " + Expiry() + "; re-arming every "
        + std::to_string(m_plan.interval) + " s until SIGINT, SIGTERM or SIGHUP");
    m_context.report.Say("hardware: " + m_plan.timeout.text);
    if (!m_checks.empty()) {
        std::string names;
        for (const auto& check : m_checks)
            names += (names.empty() ? "" : ", ") + check->Name();
        m_context.report.Say("health checks: " + names + ", all within "
            + Seconds(m_plan.checkBudgetMs) + "; re-arming stops after "
            + FailedRounds(m_plan.maxFailures));
    }
    return m_rounds.Run();
}

// Another process holding the board lock delays a re-arm, and ends
// keepalive only once the re-arm can no longer land before the expiry
// (by then the watchdog has taken its action). Each busy wait is logged
// with its holder; the service manager still hears that keepalive lives.
bool KeepaliveRun::Rearm()
{
    const auto expiry
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_rounds.MsLeft());
    for (;;) {
        try {
            RecordCount();
            return Call(bypassctl::Rearm(m_options.action));
        } catch (const CommandError& error) {
            if (error.code != kExitBusy || std::chrono::steady_clock::now() >= expiry)
                throw;
            Log(Priority::Error,
                error.message + "; the re-arm is tried again until " + m_rounds.ExpiresAt());
            m_context.console.supervisor.Alive();
        }
    }
}

// The traffic of a long keepalive is not kept (--trace still shows it).
bool KeepaliveRun::Call(const BoardOperation& operation)
{
    m_result = m_session.Call(operation);
    m_session.ForgetTraffic();
    if (m_result >= 0)
        return true;
    m_failed = operation.name;
    Log(Priority::Error,
        "the board answered " + std::to_string(m_result) + " to " + operation.name);
    return false;
}

void KeepaliveRun::Finish(Ending ending)
{
    Report& report = m_context.report;
    report.Set("rearms", m_rounds.Rearms());
    report.Set("rounds", m_rounds.Rounds());
    report.Set("failed_rounds", m_rounds.FailedRoundCount());
    Json names = Json::array();
    for (const auto& check : m_checks)
        names.push_back(check->Name());
    report.Set("checks", names);
    report.Set("outcome", EndingName(ending));
    if (ending == Ending::Expired)
        Expire();
    if (!m_rounds.Armed())
        return LeaveUnarmed();
    StopOrLeave(ending);
}

// Stopped during the start grace: a count some earlier arming left running
// keeps running.
void KeepaliveRun::LeaveUnarmed()
{
    m_context.report.Set("watchdog", "untouched");
    m_context.report.Set("result", 0);
    m_context.report.Say("stopped before arming: the watchdog is left as it was");
    Log(Priority::Notice, "stopped on request before arming: the watchdog is left as it was");
    WriteStatus("stopped", false);
}

// The board is left as the expiry left it: in bypass, or restarted.
void KeepaliveRun::Expire()
{
    Report& report = m_context.report;
    report.Set("watchdog", "expired");
    report.Set("result", m_result);
    report.Say("re-armed " + std::to_string(m_rounds.Rearms())
        + " times; the watchdog expired: " + ExpiryText(m_options.action));
    m_session.ReportState();
    Log(Priority::Error,
        "the watchdog expired at " + m_rounds.ExpiresAt() + ": " + ExpiryText(m_options.action));
    WriteStatus("expired");
    throw CommandError{kExitExpired, "the watchdog expired: the health checks failed"};
}

// Even after a failure the watchdog may be counting: stop it unless told
// not to, or the board cannot. --on-stop bypass stops it first: on the boards
// whose bypass switch forces an expiry, a watchdog armed for restart would
// restart the system.
void KeepaliveRun::StopOrLeave(Ending ending)
{
    Report& report = m_context.report;
    const bool canStop = CanStop(m_session);
    const bool leaveArmed = m_options.onStop == OnStop::Leave || !canStop;
    report.Set("watchdog", leaveArmed ? "armed" : "stopped");
    const int stopResult = leaveArmed ? 0 : m_session.Call(kDisable);
    if (!leaveArmed && stopResult >= 0)
        m_session.Lock().ForgetCount();
    const bool bypassed = m_options.onStop == OnStop::Bypass && ending == Ending::Stopped
        && stopResult >= 0 && MayBypass(leaveArmed);
    const int bypassResult = bypassed ? Bypass() : 0;
    report.Set("result", m_failed ? m_result : stopResult < 0 ? stopResult : bypassResult);
    report.Say("re-armed " + std::to_string(m_rounds.Rearms()) + " times; watchdog "
        + (leaveArmed ? "left armed" : "stopped") + (canStop ? "" : " (this board cannot stop it)")
        + BypassNote(bypassed, bypassResult, "; ports put into bypass"));
    m_session.ReportState();
    Log(Priority::Notice,
        std::string(ending == Ending::Stopped ? "stopped on request" : "stopping after the failure")
            + (leaveArmed ? ": watchdog left armed, it expires at " + m_rounds.ExpiresAt() + ", "
                        + ExpiryText(m_options.action)
                          : (stopResult < 0 ? ": the watchdog could not be stopped"
                                            : ": watchdog stopped"))
            + BypassNote(bypassed, bypassResult, "; the ports are in bypass"));
    WriteStatus("stopped", leaveArmed);
    if (m_failed)
        CheckResult(m_result, m_failed);
    CheckResult(stopResult, kDisable.name);
    CheckResult(bypassResult, "EnableBypass");
}

// A bypass switch that forces the expiry of a watchdog still armed for
// restart would restart the system instead.
bool KeepaliveRun::MayBypass(bool armed)
{
    const bool forcesRestart = armed && Restarts(m_options.action)
        && bypass::BypassWatchdogStep(m_session.Type(), true).effect
            == bypass::BypassWatchdogEffect::ForcesExpiry;
    if (forcesRestart)
        Log(Priority::Warning,
            "ports not put into bypass: on this board it would force the armed watchdog's "
            "expiry, a restart");
    return !forcesRestart;
}

int KeepaliveRun::Bypass()
{
    const int result
        = m_session.Call({"EnableBypass", [](CBypassTool& tool) { return tool.EnableBypass(); }});
    m_context.report.Set("bypass", result < 0 ? "failed" : "on");
    return result;
}

void KeepaliveRun::WriteStatus(const char* state, bool counting)
{
    WriteMetrics(state, counting);
    if (m_options.statusFile.empty())
        return;
    Json status = {{"state", state}, {"rearms", m_rounds.Rearms()},
        {"failed_rounds", m_rounds.FailedRoundCount()},
        {"last_arm_utc", UtcTime(m_rounds.LastArm())},
        {"expires_utc", counting ? Json(m_rounds.ExpiresAt()) : Json(nullptr)},
        {"timeout_seconds", m_options.timeout},
        {"hardware_seconds", m_plan.timeout.hardwareSeconds},
        {"action", ActionName(m_options.action)}};
    if (const BoardSimulator* simulator = m_session.Simulator())
        status["board_state"] = ModelledStateJson(simulator->State());
    const std::string failure = WriteFileAtomically(m_options.statusFile, status.dump());
    if (!failure.empty())
        Log(Priority::Warning, "status file " + m_options.statusFile + ": " + failure);
}

void KeepaliveRun::WriteMetrics(const char* state, bool counting)
{
    if (m_options.metricsFile.empty())
        return;
    counting = counting && std::string(state) != "expired";
    const long long elapsed = std::time(nullptr) - m_rounds.LastArm();
    const long long left = counting ? std::max(0LL, m_plan.timeout.hardwareSeconds - elapsed) : 0;
    const std::string failure = WriteFileAtomically(m_options.metricsFile,
        PrometheusText({state, counting, left, m_rounds.Rearms(), m_rounds.FailedRoundCount(),
            m_rounds.LastArm(), m_session.Type(), ActionName(m_options.action), m_checkResults}));
    if (!failure.empty())
        Log(Priority::Warning, "metrics file " + m_options.metricsFile + ": " + failure);
}

} // namespace

void CheckKeepaliveOptions(Context& context)
{
    BoardSession session(context);
    PlanKeepalive(context.options, session);
}

void KeepWatchdogAlive(Context& context)
{
    const Options& options = context.options;
    Report& report = context.report;
    // Before the first line is written: a closed log pipe must not end it.
    context.console.stop.Listen();
    BoardSession session(context);
    session.OwnWatchdog();
    const KeepalivePlan plan = PlanKeepalive(options, session);
    // Refused before arming, not at the first write; a service installed
    // earlier may name a directory its manager makes at start.
    for (const auto& [option, path] :
        {std::pair{"--status-file ", options.statusFile}, {"--metrics-file ", options.metricsFile}})
        if (const std::string missing = path.empty() ? "" : MissingDirectory(path);
            !missing.empty())
            throw CommandError{kExitUsage, option + path + ": " + missing};
    report.Set("action", ActionName(options.action));
    SetTimeoutFacts(report, options.timeout, plan.timeout);
    report.Set("interval_seconds", plan.interval);
    if (plan.checkBudgetMs)
        report.Set("check_timeout_seconds", plan.checkBudgetMs / 1000.0);
    KeepaliveRun run(context, session, plan);
    if (!CanStop(session) && options.onStop != OnStop::Leave)
        report.Warn("board type " + std::to_string(session.Type())
            + " cannot stop its watchdog with DisableWDT, " + WhatStopsIt(session, options.action)
            + ": once keepalive ends it expires after the last re-arm: " + run.Expiry());
    run.Finish(run.Run());
}

} // namespace bypassctl
