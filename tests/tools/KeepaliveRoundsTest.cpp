// keepalive's rounds alone, over a scripted board and clock: which arming
// each round makes, when the re-arming stops, when a recovery arms the full
// timeout again, and when the watchdog is found expired.
#include "supervise/KeepaliveRounds.h"

#include <gtest/gtest.h>

namespace bypassctl {
namespace {

// The board's log: 'A' a full arming, 'r' a re-arm. Its clock moves by each
// interval waited and by each check's own time; the wait after the last
// scripted round is a stop request.
struct ScriptedBoard : RoundsBoard {
    bool Arm() override { return calls += 'A', true; }
    bool Rearm() override
    {
        calls += 'r';
        return ++rearms != failingRearm;
    }
    unsigned long long NowMs() const override { return ms; }
    bool WaitInterval(int seconds) override
    {
        ms += static_cast<unsigned long long>(seconds) * 1000;
        return round++ == health.size();
    }
    void StateChanged(const char* /*state*/) override { }

    std::string health; // per round: '+' the check passes, '-' it fails
    int checkMs = 0;
    int failingRearm = 0; // the re-arm the board answers with a failure; 0 none
    std::string calls;
    int rearms = 0;
    std::size_t round = 0;
    unsigned long long ms = 0;
};

// A check that takes its time on the board's clock, then answers the script.
struct ScriptedCheck : HealthCheck {
    explicit ScriptedCheck(ScriptedBoard& board)
        : board(board)
    {
    }
    std::string Name() const override { return "scripted"; }
    CheckVerdict Run(std::chrono::milliseconds /*timeout*/) override
    {
        board.ms += static_cast<unsigned long long>(board.checkMs);
        return {board.health[board.round - 1] == '+', "scripted failure"};
    }
    ScriptedBoard& board;
};

// The priorities of the log lines, R for Ready and S for Stopping.
struct Priorities : Supervisor {
    void Log(Priority priority, const std::string& /*line*/) override
    {
        Add(static_cast<char>('0' + static_cast<int>(priority)));
    }
    void Ready() override { Add('R'); }
    void Stopping() override { Add('S'); }
    void Add(char c) { text += text.empty() ? std::string(1, c) : std::string(" ") + c; }
    std::string text;
};

struct Row {
    const char* health;
    int maxFailures;
    int checkMs;
    int failingRearm;
    bool verbose;
    const char* calls;
    Ending ending;
    const char* priorities;
    int rearms;
    int failedRounds;
};

// All on a watchdog that counts 9 s, re-armed every 3 s.
const Row kRows[] = {
    // Healthy until stopped; --verbose logs each re-arm.
    {"++", 1, 0, 0, true, "Arr", Ending::Stopped, "5 R 7 7 S", 2, 0},
    // A failure stops the re-arming; passing again 6 s after the last arming
    // arms the full timeout; failing again, the count runs out 9 s after it.
    {"+-+---", 1, 0, 0, false, "ArA", Ending::Expired, "5 R 4 3 5 4 3 4 4", 2, 3},
    // The checks' own time counts: 3 s + 2 s after the arming they fail, and
    // the next round's pass comes at 10 s, after the expiry.
    {"-+", 1, 2000, 0, false, "A", Ending::Expired, "5 R 4 3", 0, 1},
    // With --max-failures 2 the first failed round still re-arms.
    {"+--", 2, 0, 0, false, "Arr", Ending::Stopped, "5 R 4 4 3 S", 2, 2},
    // The board's failure ends the rounds at once.
    {"+++", 1, 0, 2, false, "Arr", Ending::BoardFailed, "5 R", 1, 0},
};

TEST(KeepaliveRounds, RearmStopRecoverAndExpireAsTheChecksAnswer)
{
    for (const Row& row : kRows) {
        ScriptedBoard board;
        board.health = row.health;
        board.checkMs = row.checkMs;
        board.failingRearm = row.failingRearm;
        Checks checks;
        checks.push_back(std::make_unique<ScriptedCheck>(board));
        RoundsPlan plan;
        plan.hardwareSeconds = 9;
        plan.interval = 3;
        plan.checkTimeout = 2;
        plan.maxFailures = row.maxFailures;
        plan.verbose = row.verbose;
        Priorities log;
        KeepaliveRounds rounds(board, checks, plan, log);
        ASSERT_TRUE(rounds.ArmFirst());
        EXPECT_EQ(rounds.Run(), row.ending) << row.health;
        EXPECT_EQ(board.calls, row.calls) << row.health;
        EXPECT_EQ(log.text, row.priorities) << row.health;
        EXPECT_EQ(rounds.Rearms(), row.rearms) << row.health;
        EXPECT_EQ(rounds.FailedRoundCount(), row.failedRounds) << row.health;
    }
}

} // namespace
} // namespace bypassctl
