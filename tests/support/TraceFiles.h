// The expected conversations of the board operations, one file each under
// tests/boards/traces/<type>-<board>/<operation>[.<variant>].trace, and the
// operations their names stand for. Shared by the runner on the recording
// backend and the end-to-end suite, which sees only the exported headers.
#pragma once

#include "framework/BypassTool.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace bypass::test {

struct TraceFile {
    std::string path;
    std::string name; // <type>-<board>/<operation>, for test output
    int type;
    std::vector<std::string> steps; // operations in the order they run: a+b
};

inline void PrintTo(const TraceFile& file, std::ostream* os) { *os << file.name; }

// Every trace file under dir, in name order.
std::vector<TraceFile> AllTraceFiles(const std::string& dir);
std::string ReadText(const std::string& path);

// init, fini, enable-bypass, disable-bypass, enable-wdt, disable-wdt,
// kick-bypass, kick-restart, arm-bypass-SECONDS and arm-restart-SECONDS.
std::function<int(CBypassTool&)> OperationNamed(const std::string& name);

// The lines of an expected trace: one access per line; blank lines, leading
// blanks and everything after '#' are ignored, so traces can carry comments.
// "LINE * N" stands for N copies of the line, and the lines between
// "repeat N" and "end" stand for N copies of them.
std::vector<std::string> ParseTrace(const std::string& text);

} // namespace bypass::test
