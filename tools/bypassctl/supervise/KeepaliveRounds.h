// keepalive's rounds: each interval the health checks, then a re-arm while
// they pass. All of a round's checks share one budget, so that however many
// of them hang, the re-arm lands within the interval plus that budget. When they keep failing the
// re-arming stops and the watchdog expires into its action (bypass or restart), the failure the
// watchdog is there to catch; when they pass again before that, the watchdog is armed again with
// the full timeout. The rounds see the board and its clock through RoundsBoard, so that they run
// without the command line.
#pragma once

#include "supervise/HealthCheck.h"
#include "supervise/Supervisor.h"

#include <ctime>
#include <string>

namespace bypassctl {

// What the rounds need of the board and of time.
class RoundsBoard {
public:
    virtual ~RoundsBoard() = default;
    // Arms with the full timeout; false when the board answered a failure.
    virtual bool Arm() = 0;
    // Re-arms with the timeout of the last arming; false on a failure.
    virtual bool Rearm() = 0;
    // The board's clock in ms: the hardware counts on it.
    virtual unsigned long long NowMs() const = 0;
    // Waits one interval, or less when a stop is requested; true on a stop.
    virtual bool WaitInterval(int seconds) = 0;
    // The rounds' state changed: "re-arming" or "not re-arming".
    virtual void StateChanged(const char* state) = 0;
    // The ms left of a count that an earlier keepalive armed and did not
    // stop (it was killed, or restarted); 0 when none is known to run.
    virtual unsigned long long EarlierCountMsLeft() = 0;
};

struct RoundsPlan {
    int hardwareSeconds = 0; // the least time the hardware counts
    int interval = 0;
    int checkBudgetMs = 0; // what all of a round's checks may take; 0 without checks
    int startGrace = 0;    // seconds a start waits for the checks to pass
    int maxFailures = 1;   // failed rounds in a row that stop the re-arming
    bool verbose = false;  // log each re-arm
    // "16 s on the hardware (30 s asked), expiry puts the ports into
    // bypass", and the action alone: how the log names them.
    std::string expiry;
    std::string action;
};

enum class Ending { Stopped, Expired, BoardFailed };

// "0.5 s", "2 s"
std::string Seconds(int ms);
// "1 failed round", "3 failed rounds in a row"
std::string FailedRounds(int rounds);

class KeepaliveRounds {
public:
    KeepaliveRounds(
        RoundsBoard& board, const Checks& checks, const RoundsPlan& plan, Supervisor& events);

    // The checks first, for up to the start grace, then the first arming:
    // re-arming follows only when they passed. A start over a failing host
    // arms once and does not re-arm, so that the action follows within one
    // timeout; where an earlier keepalive's count still runs it does not arm
    // at all, so that the action follows that count however often keepalive
    // is restarted. False when the board answered a failure.
    bool Start();
    // Whether Start tried to arm the watchdog (a stop request during the
    // start grace leaves it as it was).
    bool Armed() const { return m_armed; }
    // Tells the log and the service manager that re-arming begins, then goes
    // round until a stop request, the watchdog's expiry or the board's
    // failure.
    Ending Run();

    int Rounds() const { return m_rounds; }
    int Rearms() const { return m_rearms; }
    int FailedRoundCount() const { return m_failedRounds; }
    std::time_t LastArm() const { return m_lastArm; }
    // The hardware's ms left before it expires unless re-armed.
    unsigned long long MsLeft() const;
    // When the watchdog expires unless re-armed, as the log gives times.
    std::string ExpiresAt() const;

private:
    void Announce();
    bool Arm();
    bool Rearm();
    bool FollowEarlierCount();
    unsigned long long HardwareMs() const;
    void Counting(unsigned long long leftMs);
    bool AllChecksPass();
    bool PassesWithinGrace();
    bool ActOn(bool healthy);
    bool Recover();
    void StopRearming(const std::string& why);
    bool HasExpired() const;

    RoundsBoard& m_board;
    const Checks& m_checks;
    const RoundsPlan& m_plan;
    Supervisor& m_events;
    int m_rounds = 0;
    int m_rearms = 0;
    int m_failedRounds = 0;
    int m_failuresInRow = 0;
    bool m_rearming = true;
    bool m_armed = false;
    bool m_stopped = false; // a stop request came before the first arming
    // When the watchdog expires, on the board's clock: the checks' own time
    // counts too, as it does for the hardware.
    unsigned long long m_expiresAtMs = 0;
    std::time_t m_lastArm = std::time(nullptr);
    std::time_t m_expiresAt = m_lastArm;
};

} // namespace bypassctl
