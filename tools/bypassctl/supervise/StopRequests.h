// The process's stop requests, caught by the system's own means: SIGINT,
// SIGTERM and SIGHUP (StopRequestsLinux.cpp), console control events
// (StopRequestsWin.cpp).
#pragma once

namespace bypassctl {

// From now on a stop request is noted instead of ending the process.
void CatchStopRequests();
bool StopRequested();

} // namespace bypassctl
