// bypassctl service install | remove | run (Windows): keepalive as the
// service "bypassctl-keepalive", started by the service manager at boot,
// with its events in the Application event log.
#pragma once

#include "platform/ServiceApi.h"

#include <string>

namespace bypassctl {

// A command line argument quoted so that CommandLineToArgvW (and the C
// runtime's own parsing) gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument);

} // namespace bypassctl
