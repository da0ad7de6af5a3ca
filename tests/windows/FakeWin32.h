// A scripted Win32 table, installed while it lives, that notes each call.
#pragma once

#include "portio/Win32Api.h"

#include <deque>
#include <map>
#include <string>

namespace bypass::test {

// Scripted answers by call name, taken in order; the last one repeats. A
// Win32 call fails with a non-zero answer as its last error, a COM call
// answers it as its result; a call with no script succeeds.
using Script = std::map<std::string, std::deque<DWORD>>;

class FakeWin32 {
public:
    explicit FakeWin32(Script script);
    ~FakeWin32();

    Script script;
    // One line per call in order, e.g. "OpenServiceA scm PortTalk F01FF".
    std::string calls;
    std::string systemDirectory = "C:\\windows\\system32";
    std::string windowsDirectory = "C:\\windows";
    std::string moduleFileName = "D:\\tools/x\\bin/host.exe"; // the later separator counts
    // The performance counter in 100 ns ticks: a timer wait or a Sleep moves
    // it on by the time asked, each reading by 10 us.
    LONGLONG clock = 0;
    LONGLONG timerDue = 0;
    DWORD lastError = 0;

private:
    Win32Api m_table;
    ScopedCalls<Win32Api> m_installed;
};

} // namespace bypass::test
