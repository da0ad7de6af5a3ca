// The timeout as the LANXUS boards' ITE watchdog takes it, and what the
// watchdog tells when read back.
#pragma once

#include <cstdint>

namespace bypass {

struct WatchdogReadback;

// The count register takes whole seconds in one byte: the low 8 bits of
// seconds, so larger timeouts wrap (300 s counts 44 s) and -1 counts 255 s.
std::uint8_t LanxusWdtCount(int seconds);

// The chip's watchdog read back with the entry and exit of the tools'
// sequences.
WatchdogReadback LanxusReadWatchdog();

} // namespace bypass
