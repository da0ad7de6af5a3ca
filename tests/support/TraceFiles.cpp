#include "support/TraceFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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
    std::vector<std::string> lines, block;
    std::vector<std::string>* into = &lines; // the block while a repeat is open
    unsigned long times = 0;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::vector<std::string> word{std::istream_iterator<std::string>(words), {}};
        unsigned long count = 1;
        if (word.size() > 2 && word[word.size() - 2] == "*") {
            count = std::stoul(word.back());
            word.resize(word.size() - 2);
        }
        if (word.size() == 2 && word[0] == "repeat") {
            times = std::stoul(word[1]);
            block.clear();
            into = &block;
        } else if (word.size() == 1 && word[0] == "end" && into == &block) {
            for (unsigned long i = 0; i < times; ++i)
                lines.insert(lines.end(), block.begin(), block.end());
            into = &lines;
        } else if (!word.empty()) {
            std::string joined = word[0];
            for (std::size_t i = 1; i < word.size(); ++i)
                joined += " " + word[i];
            into->insert(into->end(), count, joined);
        }
    }
    return lines;
}

} // namespace bypass::test
