#include "supervise/KeepaliveRounds.h"

#include <chrono>

namespace bypassctl {

std::string FailedRounds(int rounds)
{
    return rounds == 1 ? std::string("1 failed round")
                       : std::to_string(rounds) + " failed rounds in a row";
}

KeepaliveRounds::KeepaliveRounds(
    RoundsBoard& board, const Checks& checks, const RoundsPlan& plan, Supervisor& events)
    : m_board(board)
    , m_checks(checks)
    , m_plan(plan)
    , m_events(events)
{
}

std::string KeepaliveRounds::ExpiresAt() const
{
    return UtcTime(m_lastArm + m_plan.hardwareSeconds);
}

Ending KeepaliveRounds::Run()
{
    Announce();
    while (!m_board.WaitInterval(m_plan.interval)) {
        m_events.Alive();
        ++m_rounds;
        const bool healthy = AllChecksPass();
        // Judged after the checks, which take time too: checks that pass
        // again too late find the board already in its action.
        if (!m_rearming && HasExpired())
            return Ending::Expired;
        if (!ActOn(healthy))
            return Ending::BoardFailed;
        m_board.StateChanged(m_rearming ? "re-arming" : "not re-arming");
    }
    m_events.Stopping();
    return Ending::Stopped;
}

void KeepaliveRounds::Announce()
{
    std::string line = "watchdog armed: " + m_plan.expiry + "; re-arming every "
        + std::to_string(m_plan.interval) + " s";
    if (!m_checks.empty()) {
        std::string names;
        for (const auto& check : m_checks)
            names += (names.empty() ? "" : ", ") + check->Name();
        line += " while these pass, each within " + std::to_string(m_plan.checkTimeout)
            + " s: " + names;
    }
    m_events.Log(Priority::Notice, line);
    m_events.Ready();
    m_board.StateChanged("re-arming");
}

bool KeepaliveRounds::Arm()
{
    if (!m_board.Arm())
        return false;
    m_armedAtMs = m_board.NowMs();
    m_lastArm = std::time(nullptr);
    return true;
}

bool KeepaliveRounds::Rearm()
{
    if (!m_board.Rearm())
        return false;
    m_armedAtMs = m_board.NowMs();
    m_lastArm = std::time(nullptr);
    ++m_rearms;
    if (m_plan.verbose)
        m_events.Log(Priority::Debug, "re-armed: the watchdog expires at " + ExpiresAt());
    return true;
}

// Every check runs, so that the log names each one that fails.
bool KeepaliveRounds::AllChecksPass()
{
    bool healthy = true;
    for (const auto& check : m_checks) {
        const CheckVerdict verdict = check->Run(std::chrono::seconds(m_plan.checkTimeout));
        if (verdict.healthy)
            continue;
        healthy = false;
        m_events.Log(Priority::Warning, check->Name() + " failed: " + verdict.why);
    }
    return healthy;
}

// False when the board answered a failure.
bool KeepaliveRounds::ActOn(bool healthy)
{
    if (healthy) {
        m_failuresInRow = 0;
        return m_rearming ? Rearm() : Recover();
    }
    ++m_failedRounds;
    if (!m_rearming)
        return true;
    if (++m_failuresInRow < m_plan.maxFailures)
        return Rearm();
    StopRearming();
    return true;
}

// Armed as at the start: the watchdog has been counting since the last
// re-arm, and a full arming gives it the whole timeout again.
bool KeepaliveRounds::Recover()
{
    if (!Arm())
        return false;
    ++m_rearms;
    m_rearming = true;
    m_events.Log(Priority::Notice,
        "health checks pass again: watchdog armed again with the full " + m_plan.expiry);
    return true;
}

void KeepaliveRounds::StopRearming()
{
    m_rearming = false;
    m_events.Log(Priority::Error,
        "re-arming stopped after " + FailedRounds(m_failuresInRow) + ": the watchdog expires at "
            + ExpiresAt() + ", " + m_plan.action);
}

bool KeepaliveRounds::HasExpired() const
{
    const auto limitMs = static_cast<unsigned long long>(m_plan.hardwareSeconds) * 1000;
    return m_board.NowMs() - m_armedAtMs >= limitMs;
}

} // namespace bypassctl
