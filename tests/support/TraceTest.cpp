#include "support/TraceTest.h"

#include <algorithm>
#include <sstream>

namespace bypass::test {

::testing::AssertionResult TraceEquals(
    const std::vector<std::string>& actual, const std::string& expected)
{
    const std::vector<std::string> want = ParseTrace(expected);
    if (actual == want)
        return ::testing::AssertionSuccess();
    std::size_t first = 0;
    while (first < actual.size() && first < want.size() && actual[first] == want[first])
        ++first;
    std::ostringstream message;
    message << "traces differ at line " << first + 1 << " (expected " << want.size()
            << " lines, recorded " << actual.size() << ")\n";
    for (std::size_t i = first; i < first + 8 && i < std::max(actual.size(), want.size()); ++i)
        message << i + 1 << ": expected " << (i < want.size() ? want[i] : "<end>") << "   recorded "
                << (i < actual.size() ? actual[i] : "<end>") << "\n";
    return ::testing::AssertionFailure() << message.str();
}

} // namespace bypass::test
