// The base-2 logarithm codes in which the port-I/O boards take a watchdog
// timeout. The boards define a code as ln n / ln 2 truncated, but that
// quotient in doubles falls just short of the integer for some exact powers
// of two, so the codes are computed with integers: the truncated logarithm
// of n is its bit length minus one.
#pragma once

#include <cstdint>

namespace bypass {

// Number of significant bits: 0 for 0, 1 for 1, 2 for 2-3, 3 for 4-7, ...
constexpr int BitLength(std::uint32_t n)
{
    int bits = 0;
    for (; n != 0; n >>= 1)
        ++bits;
    return bits;
}

// G41-NEXCOM board logic: 0 stays 0, any other value is the bit length of
// the seconds, with no upper bound. The logarithm of a negative number is
// not a number, and the board has always been given 1 for it.
constexpr int G41NexcomTimeoutCode(int nSecond)
{
    if (nSecond < 0)
        return 1;
    return BitLength(static_cast<std::uint32_t>(nSecond));
}

// D525-NEXCOM board logic and its Super I/O watchdog: 0 for no time at all,
// otherwise the bit length of the seconds held to at most 64 (codes 1 to 7).
constexpr int D525NexcomTimeoutCode(int nSecond)
{
    constexpr int kLongest = 64;
    if (nSecond <= 0)
        return 0;
    return BitLength(static_cast<std::uint32_t>(nSecond < kLongest ? nSecond : kLongest));
}

// The 1045 board counts the other way: 6 for 1 second down to 0 for 64.
// Only 1 to 64 seconds have a code.
constexpr int k1045ShortestTimeout = 1;
constexpr int k1045LongestTimeout = 64;

constexpr bool Is1045Timeout(int nSecond)
{
    return nSecond >= k1045ShortestTimeout && nSecond <= k1045LongestTimeout;
}

constexpr int C1045TimeoutCode(int nSecond)
{
    return 7 - BitLength(static_cast<std::uint32_t>(nSecond));
}

} // namespace bypass
