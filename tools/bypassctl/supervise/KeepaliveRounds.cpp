#include "supervise/KeepaliveRounds.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace bypassctl {

std::string Seconds(int ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(ms) / 1000);
    return text;
}

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

std::string KeepaliveRounds::ExpiresAt() const { return UtcTime(m_expiresAt); }

bool KeepaliveRounds::Start()
{
    const bool healthy = PassesWithinGrace();
    if (m_stopped)
        return true;
    m_rearming = healthy;
    if (!healthy && FollowEarlierCount())
        return true;
    return Arm();
}

// Over a failing host a count that an earlier keepalive armed runs on:
// arming it again would postpone its action, and a restart loop faster
// than the timeout would postpone it for ever.
bool KeepaliveRounds::FollowEarlierCount()
{
    const unsigned long long leftMs = std::min(m_board.EarlierCountMsLeft(), HardwareMs());
    if (leftMs == 0)
        return false;
    Counting(leftMs);
    m_lastArm = m_expiresAt - m_plan.hardwareSeconds;
    return true;
}

// A failed round waits one interval (less at the grace's end) and tries
// again while the grace lasts.
bool KeepaliveRounds::PassesWithinGrace()
{
    const unsigned long long startMs = m_board.NowMs();
    const auto graceMs = static_cast<unsigned long long>(m_plan.startGrace) * 1000;
    while (!AllChecksPass()) {
        ++m_failedRounds;
        const unsigned long long passed = m_board.NowMs() - startMs;
        if (passed >= graceMs)
            return false;
        const auto leftS = static_cast<int>((graceMs - passed + 999) / 1000);
        if (m_board.WaitInterval(std::min(m_plan.interval, leftS))) {
            m_stopped = true;
            return false;
        }
        m_events.Alive();
    }
    return true;
}

Ending KeepaliveRounds::Run()
{
    if (m_stopped) {
        m_events.Stopping();
        return Ending::Stopped;
    }
    Announce();
    if (!m_rearming)
        StopRearming(m_armed ? "the health checks failed at the start"
                             : "the health checks failed at the start, and an earlier keepalive's "
                               "count still runs: not armed again");
    while (!m_board.WaitInterval(m_plan.interval)) {
        m_events.Alive();
        ++m_rounds;
        const bool healthy = AllChecksPass();
        if (!healthy)
            ++m_failedRounds;
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
    std::string line = (m_armed ? "watchdog armed: " : "watchdog left to an earlier count: ")
        + m_plan.expiry + "; re-arming every " + std::to_string(m_plan.interval) + " s";
    if (!m_checks.empty()) {
        std::string names;
        for (const auto& check : m_checks)
            names += (names.empty() ? "" : ", ") + check->Name();
        line += " while these pass, all within " + Seconds(m_plan.checkBudgetMs) + ": " + names;
    }
    m_events.Log(Priority::Notice, line);
    m_events.Ready();
    m_board.StateChanged(m_rearming ? "re-arming" : "not re-arming");
}

// A failed arming may have set part of the watchdog: it counts as armed,
// so that the end stops it.
bool KeepaliveRounds::Arm()
{
    m_armed = true;
    if (!m_board.Arm())
        return false;
    Counting(HardwareMs());
    return true;
}

bool KeepaliveRounds::Rearm()
{
    if (!m_board.Rearm())
        return false;
    Counting(HardwareMs());
    ++m_rearms;
    if (m_plan.verbose)
        m_events.Log(Priority::Debug, "re-armed: the watchdog expires at " + ExpiresAt());
    return true;
}

// Every check runs while the round's budget lasts, so that the log names
// each one that fails; one that finds the budget used up fails unrun.
bool KeepaliveRounds::AllChecksPass()
{
    bool healthy = true;
    const unsigned long long deadlineMs = m_board.NowMs() + m_plan.checkBudgetMs;
    for (const auto& check : m_checks) {
        const unsigned long long nowMs = m_board.NowMs();
        const CheckVerdict verdict = nowMs < deadlineMs
            ? check->Run(std::chrono::milliseconds(deadlineMs - nowMs))
            : CheckVerdict{
                false, "not run: the checks used up their " + Seconds(m_plan.checkBudgetMs)};
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
    if (!m_rearming)
        return true;
    if (++m_failuresInRow < m_plan.maxFailures)
        return Rearm();
    StopRearming("re-arming stopped after " + FailedRounds(m_failuresInRow));
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

void KeepaliveRounds::StopRearming(const std::string& why)
{
    m_rearming = false;
    m_events.Log(
        Priority::Error, why + ": the watchdog expires at " + ExpiresAt() + ", " + m_plan.action);
}

unsigned long long KeepaliveRounds::HardwareMs() const
{
    return static_cast<unsigned long long>(m_plan.hardwareSeconds) * 1000;
}

// The count runs leftMs more from now; an arming starts a whole one.
void KeepaliveRounds::Counting(unsigned long long leftMs)
{
    m_expiresAtMs = m_board.NowMs() + leftMs;
    m_expiresAt = std::time(nullptr) + static_cast<std::time_t>(leftMs / 1000);
    m_lastArm = std::time(nullptr);
}

unsigned long long KeepaliveRounds::MsLeft() const
{
    const unsigned long long nowMs = m_board.NowMs();
    return nowMs < m_expiresAtMs ? m_expiresAtMs - nowMs : 0;
}

bool KeepaliveRounds::HasExpired() const { return MsLeft() == 0; }

} // namespace bypassctl
