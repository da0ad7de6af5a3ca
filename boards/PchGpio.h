// The GPIO block of the H61 chipset (Intel 6-series PCH), which the H61
// boards' firmware places at I/O 0x500. Each bank of 32 lines has a
// use-select register (1 = GPIO), a direction register (0 = output) and a
// level register, one bit per line: line n of a bank is bit n % 8 of the
// register's byte n / 8, or bit n of its 16- or 32-bit view.
#pragma once

#include <cstdint>

namespace bypass {

struct PchGpioBank {
    std::uint16_t select;
    std::uint16_t direction;
    std::uint16_t level;
};

constexpr PchGpioBank kPchGpioBanks[] = {
    {0x500, 0x504, 0x50C}, // lines 0-31
    {0x530, 0x534, 0x538}, // lines 32-63
};

} // namespace bypass
