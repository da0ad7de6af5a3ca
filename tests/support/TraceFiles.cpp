#include "support/TraceFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace bypass::test {
std::function<int(CBypassTool&)> OperationNamed(const std::string& name)
{
    static const std::map<std::string, std::function<int(CBypassTool&)>> kPlain = {
        {"init", &CBypassTool::init},
        {"fini", [](CBypassTool& tool) { return tool.fini(), 0; }},
        {"enable-bypass", &CBypassTool::EnableBypass},
        {"disable-bypass", &CBypassTool::DisableBypass},
        {"enable-wdt", &CBypassTool::EnableWDT},
        {"disable-wdt", &CBypassTool::DisableWDT},
        {"kick-bypass", [](CBypassTool& tool) { return tool.SetWDTTimeout_Bypass_Again(0); }},
        {"kick-restart", [](CBypassTool& tool) { return tool.SetWDTTimeout_ResartSys_Again(0); }},
    };
    if (kPlain.count(name))
        return kPlain.at(name);
    int seconds = 0;
    if (std::sscanf(name.c_str(), "arm-bypass-%d", &seconds) == 1)
        return [seconds](CBypassTool& tool) { return tool.SetWDTTimeout_Bypass(0, seconds); };
    if (std::sscanf(name.c_str(), "arm-restart-%d", &seconds) == 1)
        return [seconds](CBypassTool& tool) { return tool.SetWDTTimeout_ResartSys(0, seconds); };
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
    // An access, an optional "* N", then blanks and an optional comment.
    static const std::regex kLine(R"(\s*([^#]*?)(?:\s+\*\s+(\d+))?\s*(#.*)?)");
    std::vector<std::string> lines, block;
    std::vector<std::string>* into = &lines; // the block while a repeat is open
    unsigned long times = 0;
    std::istringstream stream(text);
    std::smatch parts;
    for (std::string line; std::getline(stream, line) && std::regex_match(line, parts, kLine);) {
        const std::string access = parts[1];
        if (access.compare(0, 7, "repeat ") == 0) {
            times = std::stoul(access.substr(7));
            block.clear();
            into = &block;
        } else if (access == "end" && into == &block) {
            for (unsigned long i = 0; i < times; ++i)
                lines.insert(lines.end(), block.begin(), block.end());
            into = &lines;
        } else if (!access.empty()) {
            into->insert(into->end(), parts[2].matched ? std::stoul(parts[2]) : 1, access);
        }
    }
    return lines;
}

} // namespace bypass::test
