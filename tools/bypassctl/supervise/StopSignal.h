// How keepalive learns that it should end: SIGINT, SIGTERM or SIGHUP on Linux, a
// console control event (Ctrl+C, Ctrl+Break, window close, logoff,
// shutdown) on Windows.
#pragma once

namespace bypassctl {

class StopSignal {
public:
    virtual ~StopSignal() = default;
    // Starts catching the stop request; until then the platform's default
    // handling (ending the process) applies.
    virtual void Listen() = 0;
    // Waits up to seconds; true as soon as a stop has been requested.
    virtual bool WaitFor(unsigned seconds) = 0;
};

// The process's own signals or console events.
StopSignal& ProcessStopSignal();

} // namespace bypassctl
