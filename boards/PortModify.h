// Read-modify-write, the one way board code changes some bits of a byte or
// word and keeps the rest: the bits in clear are cleared, then the bits in
// set are set. Every change starts from a fresh read, so bits that the
// firmware or another owner changed in between are kept.
#pragma once

#include "portio/PortBackend.h"

#include <cstdint>

namespace bypass {

constexpr std::uint8_t Modified(std::uint8_t value, std::uint8_t clear, std::uint8_t set)
{
    return static_cast<std::uint8_t>((value & ~clear) | set);
}

// An 8-bit board or chipset port.
inline void ModifyPortByte(std::uint16_t port, std::uint8_t clear, std::uint8_t set)
{
    outportb(port, Modified(inportb(port), clear, set));
}

// A 16-bit view of chipset registers, read and written with one access each.
inline void ModifyPortWord(std::uint16_t port, std::uint16_t clear, std::uint16_t set)
{
    outportw(port, static_cast<std::uint16_t>((inportw(port) & ~clear) | set));
}

} // namespace bypass
