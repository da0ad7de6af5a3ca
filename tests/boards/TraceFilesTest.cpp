// Every board operation against the conversation the hardware expects, kept
// as one file per operation: traces/<type>-<board>/<operation>[.<variant>].trace.
// The operation runs on a fresh tool of that type against the recording
// backend; each read answers the value its `in` line shows, in order, and
// the whole recorded trace must equal the file. `result N` is what the
// operation must answer. A file named a+b holds the conversation of a, then
// that of b, whose result it gives.
#include "framework/ToolFactory.h"
#include "support/TraceTest.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using bypass::test::ParseTrace;
using bypass::test::TraceEquals;

using Operation = std::function<int(CBypassTool&)>;

Operation Arm(bool bypass, int seconds)
{
    return [=](CBypassTool& tool) {
        return bypass ? tool.SetWDTTimeout_Bypass(0, seconds)
                      : tool.SetWDTTimeout_ResartSys(0, seconds);
    };
}

Operation OperationNamed(const std::string& name)
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

struct TraceFile {
    fs::path path;
    int type;
    std::vector<std::string> steps; // operations in the order they run
};

void PrintTo(const TraceFile& file, std::ostream* os) { *os << file.path.string(); }

std::vector<TraceFile> AllTraceFiles()
{
    std::vector<TraceFile> files;
    for (const auto& entry : fs::recursive_directory_iterator(BYPASS_TRACE_DIR)) {
        if (entry.path().extension() != ".trace")
            continue;
        TraceFile file{entry.path(), std::stoi(entry.path().parent_path().filename()), {}};
        std::istringstream steps(entry.path().stem().string());
        std::string step;
        while (std::getline(steps, step, '+'))
            file.steps.push_back(step.substr(0, step.find('.')));
        files.push_back(file);
    }
    std::sort(files.begin(), files.end(),
        [](const TraceFile& a, const TraceFile& b) { return a.path < b.path; });
    return files;
}

std::string Read(const fs::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class BoardTrace : public bypass::test::TraceTest, public ::testing::WithParamInterface<TraceFile> {
protected:
    // Scripts each read of the expected lines; takes out the result line.
    std::string ScriptReads(const std::string& text, int& result)
    {
        std::string conversation;
        for (const std::string& line : ParseTrace(text)) {
            unsigned width = 0, port = 0, value = 0;
            if (std::sscanf(line.c_str(), "result %d", &result) == 1)
                continue;
            if (std::sscanf(line.c_str(), "in%u %x -> %x", &width, &port, &value) == 3)
                ports.Script(port, {value});
            if (line == "open -> -1")
                ports.SetOpenResult(-1);
            conversation += line + "\n";
        }
        return conversation;
    }
};

TEST_P(BoardTrace, OperationHoldsTheExpectedConversation)
{
    const TraceFile& file = GetParam();
    std::unique_ptr<CBypassTool> tool(bypass::MakeBypassTool(file.type));
    int result = 0;
    const std::string expected = ScriptReads(Read(file.path), result);
    for (std::size_t i = 0; i + 1 < file.steps.size(); ++i)
        OperationNamed(file.steps[i])(*tool);
    EXPECT_EQ(OperationNamed(file.steps.back())(*tool), result);
    EXPECT_TRUE(TraceEquals(ports.Lines(), expected));
}

std::string TestName(const ::testing::TestParamInfo<TraceFile>& info)
{
    std::string name
        = info.param.path.parent_path().filename().string() + "_" + info.param.path.stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, BoardTrace, ::testing::ValuesIn(AllTraceFiles()), TestName);

} // namespace
