// Read-modify-writes of the chipset GPIO registers of the LANXUS boards:
// the register is read, the bits in clear are cleared, the bits in set are
// set, and the result goes back to the same port with the same width, so
// the lines the board does not own keep their levels and configuration.
#pragma once

#include "portio/PortBackend.h"

#include <cstdint>

namespace bypass {

inline void UpdatePortByte(std::uint16_t port, std::uint8_t clear, std::uint8_t set)
{
    outportb(port, static_cast<std::uint8_t>((inportb(port) & ~clear) | set));
}

inline void UpdatePortWord(std::uint16_t port, std::uint16_t clear, std::uint16_t set)
{
    outportw(port, static_cast<std::uint16_t>((inportw(port) & ~clear) | set));
}

} // namespace bypass
