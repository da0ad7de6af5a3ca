// A scripted Win32: tests install it in place of the real table, and each
// faked call is noted in a log and answers what the test scripted.
#pragma once

#include "portio/Win32Api.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace bypass::test {

class FakeWin32 {
public:
    FakeWin32();
    ~FakeWin32();

    // Calls in order, e.g. "CreateFileA \\.\PortTalk 80000000 0 3 80".
    std::vector<std::string> log;

    // Answers of the calls, consumed in order; when a queue is empty the
    // call succeeds. An error is set as the last error for a failed call.
    struct Outcome {
        bool ok;
        DWORD error;
    };
    std::deque<Outcome> createFile, scManager, openService, startService, createService, copyFile;
    // The driver's answer to one request: fills out, or answers FALSE.
    std::function<BOOL(
        DWORD code, const unsigned char* in, DWORD inSize, unsigned char* out, DWORD outSize)>
        ioctl;
    DWORD ioctlError = 6; // ERROR_INVALID_HANDLE
    std::string systemDirectory = "C:\\windows\\system32";
    std::string moduleFileName = "C:\\appliance\\bin\\host.exe";
    bool timerAvailable = true;
    // The performance counter, in 100 ns ticks: a timer wait or a Sleep moves
    // it on by the time asked, each reading by 10 us.
    LONGLONG clock = 0;
    LONGLONG timerDue = 0;

    DWORD lastError = 0;
    Win32Api table;

private:
    const Win32Api* m_previous;
};

// The log as one string, a call per line.
std::string Joined(const std::vector<std::string>& lines);

} // namespace bypass::test
