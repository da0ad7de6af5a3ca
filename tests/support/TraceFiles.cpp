#include "support/TraceFiles.h"

#include "boards/BoardTable.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace bypass::test {
namespace {

using Operation = std::function<int(CBypassTool&)>;

Operation Arm(bool bypass, int seconds)
{
    return [=](CBypassTool& tool) {
        return bypass ? tool.SetWDTTimeout_Bypass(0, seconds)
                      : tool.SetWDTTimeout_ResartSys(0, seconds);
    };
}

// The board's readback as one number: the seconds read (left or
// programmed), plus 100000 when expired and 1000000 when enabled.
int ReadBack(CBypassTool& tool)
{
    const WatchdogReadback chip = FindBoard(tool.GetBypassType())->readWatchdog();
    return static_cast<int>(chip.secondsLeft.value_or(chip.programmedSeconds.value_or(0))
        + (chip.expired ? 100000 : 0) + (chip.enabled.value_or(false) ? 1000000 : 0));
}

} // namespace

std::function<int(CBypassTool&)> OperationNamed(const std::string& name)
{
    static const std::map<std::string, Operation> kPlain = {
        {"init", &CBypassTool::init},
        {"fini", [](CBypassTool& tool) { return tool.fini(), 0; }},
        {"enable-bypass", &CBypassTool::EnableBypass},
        {"disable-bypass", &CBypassTool::DisableBypass},
        {"enable-wdt", &CBypassTool::EnableWDT},
        {"disable-wdt", &CBypassTool::DisableWDT},
        {"kick-bypass", [](CBypassTool& tool) { return tool.SetWDTTimeout_Bypass_Again(0); }},
        {"kick-restart", [](CBypassTool& tool) { return tool.SetWDTTimeout_ResartSys_Again(0); }},
        {"readback", ReadBack},
    };
    if (kPlain.count(name))
        return kPlain.at(name);
    for (const char* action : {"arm-bypass-", "arm-restart-"}) {
        const std::string prefix = action;
        if (name.compare(0, prefix.size(), prefix) == 0)
            return Arm(prefix == "arm-bypass-", std::stoi(name.substr(prefix.size())));
    }
    throw std::invalid_argument("no operation named " + name);
}

std::vector<TraceFile> AllTraceFiles(const std::string& dir)
{
    namespace fs = std::filesystem;
    std::vector<TraceFile> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.path().extension() != ".trace")
            continue;
        const std::string board = entry.path().parent_path().filename().string();
        const std::string stem = entry.path().stem().string();
        TraceFile file{entry.path().string(), board + "/" + stem, std::stoi(board), {}};
        std::istringstream steps(stem);
        std::string step;
        while (std::getline(steps, step, '+'))
            file.steps.push_back(step.substr(0, step.find('.')));
        files.push_back(file);
    }
    std::sort(files.begin(), files.end(),
        [](const TraceFile& a, const TraceFile& b) { return a.name < b.name; });
    return files;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

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

} // namespace bypass::test
