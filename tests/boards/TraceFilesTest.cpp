// Every board operation against the conversation the hardware expects, kept
// as one file per operation: traces/<type>-<board>/<operation>[.<variant>].trace.
// The operation runs on a fresh tool of that type against the recording
// backend; each read answers the value its `in` line shows, in order, and
// the whole recorded trace must equal the file. `result N` is what the
// operation must answer. A file named a+b holds the conversation of a, then
// that of b, whose result it gives. `readback` is the board row's read of
// the watchdog chip, answered as the seconds read plus 100000 when expired
// and 1000000 when enabled; `readback-selection` its look at the logical
// device the Super I/O has selected, answered 1 when it is the watchdog's.
#include "boards/BoardTable.h"
#include "boards/WatchdogReadback.h"
#include "framework/ToolFactory.h"
#include "support/TraceTest.h"

#include <cstdio>
#include <memory>

namespace {

using namespace bypass::test;

int RunStep(const std::string& step, CBypassTool& tool)
{
    const bypass::BoardRow& row = *bypass::FindBoard(tool.GetBypassType());
    if (step == "readback-selection")
        return row.selectedDevice() == row.watchdogDevice;
    if (step != "readback")
        return OperationNamed(step)(tool);
    const bypass::WatchdogReadback chip = row.readWatchdog();
    return static_cast<int>(chip.secondsLeft.value_or(chip.programmedSeconds.value_or(0))
        + (chip.expired ? 100000 : 0) + (chip.enabled.value_or(false) ? 1000000 : 0));
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
    const std::string expected = ScriptReads(ReadText(file.path), result);
    for (std::size_t i = 0; i + 1 < file.steps.size(); ++i)
        RunStep(file.steps[i], *tool);
    EXPECT_EQ(RunStep(file.steps.back(), *tool), result);
    EXPECT_TRUE(TraceEquals(ports.Lines(), expected));
}

std::string TestName(const ::testing::TestParamInfo<TraceFile>& info)
{
    std::string name = info.param.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(
    Files, BoardTrace, ::testing::ValuesIn(AllTraceFiles(BYPASS_TRACE_DIR)), TestName);

} // namespace
