// The process's stop requests, caught by the system's own means: SIGINT,
// SIGTERM and SIGHUP (StopRequestsLinux.cpp), console control events
// (StopRequestsWin.cpp).
#pragma once

#include <chrono>

namespace bypassctl {

// From now on a stop request is noted instead of ending the process. On
// Linux SIGPIPE is ignored from now on too: a closed log pipe makes writes
// fail, and must not end keepalive with the watchdog armed.
void CatchStopRequests();
bool StopRequested();
// Sleeps until a stop request or the end of wait, without waking up in
// between; true on a stop request.
bool AwaitStopRequest(std::chrono::milliseconds wait);

} // namespace bypassctl
