// The board logic of the NEXCOM boards (G41 and D525): port 0xF2 takes the
// watchdog's timeout code, port 0xF3 a control byte whose bits 7-6 give the
// state of the relays and the watchdog. The low bits differ per board.
#pragma once

#include <cstdint>

namespace bypass::nexcom {

constexpr std::uint16_t kTimeoutPort = 0xF2;
constexpr std::uint16_t kControlPort = 0xF3;

// Bits 7-6 of the control byte.
constexpr std::uint8_t kStateNormal = 0x80;
constexpr std::uint8_t kStateArmed = 0xC0;
constexpr std::uint8_t kStateBypass = 0x40;

} // namespace bypass::nexcom
