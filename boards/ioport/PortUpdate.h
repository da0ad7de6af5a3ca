// Read-modify-write of one 8-bit port, as the GPIO bytes of these boards are
// changed: a fresh read every time, so bits that the firmware or another
// tool changed in between are kept.
#pragma once

#include "portio/PortBackend.h"

#include <cstdint>

namespace bypass {

// Writes (value read AND keep) OR set back to port.
inline void UpdatePort(std::uint16_t port, std::uint8_t keep, std::uint8_t set)
{
    outportb(port, static_cast<std::uint8_t>((inportb(port) & keep) | set));
}

} // namespace bypass
