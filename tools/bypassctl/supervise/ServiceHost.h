// Windows: keepalive as the service "bypassctl-keepalive" in the service
// process: the service manager hears its states, the Application event log
// gets its events, and a stop, a shutdown or a pre-shutdown ends it.
#pragma once

#include "platform/ServiceApi.h"
#include "supervise/StopSignal.h"
#include "supervise/Supervisor.h"

#include <functional>

namespace bypassctl {

extern const char kServiceNameUtf8[];
extern const wchar_t kServiceName[];

// How keepalive ended; a failed exit is one the failure actions answer with a
// restart.
struct KeepaliveExit {
    int code;
    bool failed;
};
using KeepaliveInService = std::function<KeepaliveExit(StopSignal& stop, Supervisor& log)>;

// Hands the service's main to the dispatcher, which runs keepalive in it
// until the service stops. Answers 0 with keepalive's exit code in exitCode,
// or the dispatcher's error.
DWORD HostService(const KeepaliveInService& keepalive, int& exitCode);

} // namespace bypassctl
