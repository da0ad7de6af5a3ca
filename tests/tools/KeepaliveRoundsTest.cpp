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
        return ++round == health.size();
    }
    void StateChanged(const char* /*state*/) override { }
    unsigned long long EarlierCountMsLeft() override { return earlierMs; }

    // per round, the first before the arming: '+' the checks pass, '-' they
    // fail, 'h' they hang until their timeout
    std::string health;
    int checkMs = 0;
    int failingRearm = 0;             // the re-arm the board answers with a failure; 0 none
    unsigned long long earlierMs = 0; // left of an earlier keepalive's count
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
    CheckVerdict Run(std::chrono::milliseconds timeout) override
    {
        const char health = board.health[board.round];
        board.ms += health == 'h' ? static_cast<unsigned long long>(timeout.count())
                                  : static_cast<unsigned long long>(board.checkMs);
        return {health == '+', "scripted failure"};
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
    int checks;
    int maxFailures;
    int checkMs;
    int failingRearm;
    bool verbose;
    int startGrace;
    unsigned long long earlierMs;
    const char* calls;
    Ending ending;
    const char* priorities;
    int rearms;
    int failedRounds;
    unsigned long long endMs; // the board's clock at the end
};

// All on a watchdog that counts 9 s, re-armed every 3 s, the checks of a
// round within 2 s together.
const Row kRows[] = {
    // Healthy until stopped; --verbose logs each re-arm.
    {"+++", 1, 1, 0, 0, true, 0, 0, "Arr", Ending::Stopped, "5 R 7 7 S", 2, 0, 9000},
    // A failure stops the re-arming; passing again 6 s after the last arming
    // arms the full timeout; failing again, the count runs out 9 s after it.
    {"++-+---", 1, 1, 0, 0, false, 0, 0, "ArA", Ending::Expired, "5 R 4 3 5 4 3 4 4", 2, 4, 18000},
    // The checks' own time counts, the first ones' too: armed at 2 s, they
    // fail 3 s + 2 s later, and the next round's pass comes at 12 s, after
    // the expiry.
    {"+-+", 1, 1, 2000, 0, false, 0, 0, "A", Ending::Expired, "5 R 4 3", 0, 1, 12000},
    // With --max-failures 2 the first failed round still re-arms.
    {"++--", 1, 2, 0, 0, false, 0, 0, "Arr", Ending::Stopped, "5 R 4 4 3 S", 2, 2, 12000},
    // The board's failure ends the rounds at once.
    {"++++", 1, 1, 0, 2, false, 0, 0, "Arr", Ending::BoardFailed, "5 R", 1, 0, 6000},
    // Three hanging checks share one budget: the first takes it all, the
    // others fail unrun, and the re-arm lands 5 s after the last, not 9 s.
    {"+h+", 3, 2, 0, 0, false, 0, 0, "Arr", Ending::Stopped, "5 R 4 4 4 S", 2, 1, 11000},
    // A start over failing checks arms once and never re-arms: the count
    // runs out one timeout later.
    {"----", 1, 1, 0, 0, false, 0, 0, "A", Ending::Expired, "4 5 R 3 4 4 4", 0, 4, 9000},
    // ...and re-arms once they pass.
    {"-+", 1, 1, 0, 0, false, 0, 0, "AA", Ending::Stopped, "4 5 R 3 5 S", 1, 1, 6000},
    // A start grace waits for them: no arming before they pass.
    {"--+", 1, 1, 0, 0, false, 5, 0, "A", Ending::Stopped, "4 4 5 R S", 0, 2, 8000},
    // A restart over failing checks while an earlier keepalive's count has
    // 5 s left arms nothing: the count runs out 5 s later, not 9 s.
    {"---", 1, 1, 0, 0, false, 0, 5000, "", Ending::Expired, "4 5 R 3 4 4", 0, 3, 6000},
    // ...and a recovery arms the full timeout.
    {"-+", 1, 1, 0, 0, false, 0, 5000, "A", Ending::Stopped, "4 5 R 3 5 S", 1, 1, 6000},
};

TEST(KeepaliveRounds, RearmStopRecoverAndExpireAsTheChecksAnswer)
{
    for (const Row& row : kRows) {
        ScriptedBoard board;
        board.health = row.health;
        board.checkMs = row.checkMs;
        board.failingRearm = row.failingRearm;
        board.earlierMs = row.earlierMs;
        Checks checks;
        for (int i = 0; i < row.checks; ++i)
            checks.push_back(std::make_unique<ScriptedCheck>(board));
        RoundsPlan plan;
        plan.hardwareSeconds = 9;
        plan.interval = 3;
        plan.checkBudgetMs = 2000;
        plan.startGrace = row.startGrace;
        plan.maxFailures = row.maxFailures;
        plan.verbose = row.verbose;
        Priorities log;
        KeepaliveRounds rounds(board, checks, plan, log);
        ASSERT_TRUE(rounds.Start());
        EXPECT_EQ(rounds.Run(), row.ending) << row.health;
        EXPECT_EQ(board.calls, row.calls) << row.health;
        EXPECT_EQ(log.text, row.priorities) << row.health;
        EXPECT_EQ(rounds.Rearms(), row.rearms) << row.health;
        EXPECT_EQ(rounds.FailedRoundCount(), row.failedRounds) << row.health;
        EXPECT_EQ(board.ms, row.endMs) << row.health;
    }
}

} // namespace
} // namespace bypassctl
