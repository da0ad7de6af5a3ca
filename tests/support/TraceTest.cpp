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
    const std::size_t from = first > 3 ? first - 3 : 0;
    const std::size_t to = std::max(actual.size(), want.size());
    for (std::size_t i = from; i < to && i < first + 12; ++i) {
        const std::string& w = i < want.size() ? want[i] : std::string("<end>");
        const std::string& a = i < actual.size() ? actual[i] : std::string("<end>");
        message << (w == a ? "   " : ">> ") << i + 1 << ": expected " << w;
        if (w != a)
            message << "   recorded " << a;
        message << "\n";
    }
    return ::testing::AssertionFailure() << message.str();
}

} // namespace bypass::test
