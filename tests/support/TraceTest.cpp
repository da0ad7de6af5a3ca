#include "support/TraceTest.h"

#include <algorithm>
#include <sstream>

namespace bypass::test {

std::vector<std::string> ParseTrace(const std::string& text)
{
    std::vector<std::string> lines;
    std::vector<std::string>* block = nullptr; // the lines of an open repeat block
    std::vector<std::string> repeated;
    unsigned times = 0;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        line = line.substr(0, line.find('#'));
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos)
            continue;
        const auto last = line.find_last_not_of(" \t\r");
        line = line.substr(first, last - first + 1);
        unsigned count = 1;
        const auto star = line.rfind(" * ");
        if (star != std::string::npos) {
            count = static_cast<unsigned>(std::stoul(line.substr(star + 3)));
            line = line.substr(0, line.find_last_not_of(' ', star) + 1);
        }
        if (line.compare(0, 7, "repeat ") == 0) {
            times = static_cast<unsigned>(std::stoul(line.substr(7)));
            repeated.clear();
            block = &repeated;
        } else if (line == "end" && block) {
            for (unsigned i = 0; i < times; ++i)
                lines.insert(lines.end(), repeated.begin(), repeated.end());
            block = nullptr;
        } else {
            std::vector<std::string>& into = block ? *block : lines;
            into.insert(into.end(), count, line);
        }
    }
    return lines;
}

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
