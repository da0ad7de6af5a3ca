#include "boards/ioport/TimeoutCode.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using namespace bypass;

// Powers of two from 2 to 2^30, with the number k of their exponent.
template <class Check> void ForEachPowerOfTwo(Check check)
{
    for (int k = 1; k <= 30; ++k)
        check(1 << k, k);
}

TEST(G41NexcomCode, IsTheBitLengthWithZeroKeptAndNegativesGivingOne)
{
    EXPECT_EQ(G41NexcomTimeoutCode(0), 0);
    EXPECT_EQ(G41NexcomTimeoutCode(-1), 1);
    EXPECT_EQ(G41NexcomTimeoutCode(INT_MIN), 1);
    EXPECT_EQ(G41NexcomTimeoutCode(1), 1);
    EXPECT_EQ(G41NexcomTimeoutCode(5), 3);
    EXPECT_EQ(G41NexcomTimeoutCode(60), 6);
    EXPECT_EQ(G41NexcomTimeoutCode(INT_MAX), 31);
    ForEachPowerOfTwo([](int n, int k) {
        EXPECT_EQ(G41NexcomTimeoutCode(n - 1), k) << n - 1;
        EXPECT_EQ(G41NexcomTimeoutCode(n), k + 1) << n;
        EXPECT_EQ(G41NexcomTimeoutCode(n + 1), k + 1) << n + 1;
    });
}

TEST(D525NexcomCode, IsTheBitLengthOfTheSecondsHeldTo64)
{
    EXPECT_EQ(D525NexcomTimeoutCode(0), 0);
    EXPECT_EQ(D525NexcomTimeoutCode(-5), 0);
    EXPECT_EQ(D525NexcomTimeoutCode(INT_MIN), 0);
    EXPECT_EQ(D525NexcomTimeoutCode(1), 1);
    EXPECT_EQ(D525NexcomTimeoutCode(1000), 7);
    EXPECT_EQ(D525NexcomTimeoutCode(INT_MAX), 7);
    ForEachPowerOfTwo([](int n, int k) {
        const int below = k < 7 ? k : 7;
        const int from = k + 1 < 7 ? k + 1 : 7;
        EXPECT_EQ(D525NexcomTimeoutCode(n - 1), below) << n - 1;
        EXPECT_EQ(D525NexcomTimeoutCode(n), from) << n;
        EXPECT_EQ(D525NexcomTimeoutCode(n + 1), from) << n + 1;
    });
}

TEST(C1045Code, Counts6For1SecondDownTo0For64AndAcceptsNothingElse)
{
    for (int n = 1; n <= 64; ++n) {
        const int code = n == 64 ? 0
            : n >= 32            ? 1
            : n >= 16            ? 2
            : n >= 8             ? 3
            : n >= 4             ? 4
            : n >= 2             ? 5
                                 : 6;
        EXPECT_TRUE(Is1045Timeout(n)) << n;
        EXPECT_EQ(C1045TimeoutCode(n), code) << n;
    }
    for (int n : {0, -1, 65, 128, INT_MAX, INT_MIN})
        EXPECT_FALSE(Is1045Timeout(n)) << n;
}

} // namespace
