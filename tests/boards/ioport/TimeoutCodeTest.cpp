#include "boards/ioport/TimeoutCode.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using namespace bypass;

// The codes at and around every power of two, where a logarithm computed in
// doubles falls short, and at the ends of the int range.
TEST(TimeoutCode, IsTheBitLengthOfTheSecondsInEachBoardsForm)
{
    for (int k = 1; k <= 30; ++k) {
        for (int n : {(1 << k) - 1, 1 << k, (1 << k) + 1}) {
            const int bits = n < (1 << k) ? k : k + 1;
            EXPECT_EQ(G41NexcomTimeoutCode(n), bits) << n;
            EXPECT_EQ(D525NexcomTimeoutCode(n), bits < 7 ? bits : 7) << n;
            EXPECT_EQ(Is1045Timeout(n), n <= 64) << n;
            if (n <= 64) {
                EXPECT_EQ(C1045TimeoutCode(n), 7 - bits) << n;
            }
        }
    }
    const struct {
        int seconds, g41, d525;
        bool is1045;
    } kEnds[] = {
        {INT_MIN, 1, 0, false},
        {-1, 1, 0, false},
        {0, 0, 0, false},
        {1, 1, 1, true},
        {INT_MAX, 31, 7, false},
    };
    for (const auto& c : kEnds) {
        EXPECT_EQ(G41NexcomTimeoutCode(c.seconds), c.g41) << c.seconds;
        EXPECT_EQ(D525NexcomTimeoutCode(c.seconds), c.d525) << c.seconds;
        EXPECT_EQ(Is1045Timeout(c.seconds), c.is1045) << c.seconds;
    }
    EXPECT_EQ(C1045TimeoutCode(1), 6);
}

} // namespace
