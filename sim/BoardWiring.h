// What the board models share: relay states from line levels, and the relay
// controller of the H61 boards. Each family's models are in a file of its own.
#pragma once

#include "sim/BoardModel.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>

namespace bypass::sim {

inline Relay RelayFor(bool bypass) { return bypass ? Relay::Bypass : Relay::Normal; }

inline bool LineOf(std::uint64_t levels, unsigned line) { return (levels >> line) & 1; }

inline std::uint64_t Lines(std::initializer_list<unsigned> lines)
{
    std::uint64_t bits = 0;
    for (unsigned line : lines)
        bits |= std::uint64_t(1) << line;
    return bits;
}

// The relay controller of the H61 boards, on PCH GPIO lines: on the rising
// edge of GPIO 14 it takes the segment from GPIO 46, 45 and 44 (46 the low
// bit) and the relay state from GPIO 9 (1 = bypass).
inline unsigned H61Segment(std::uint64_t levels)
{
    return LineOf(levels, 46) | (LineOf(levels, 45) << 1) | (LineOf(levels, 44) << 2);
}

constexpr unsigned kH61Strobe = 14, kH61State = 9;
inline const std::uint64_t kH61LatchedLines = Lines({kH61State, 43, 44, 45, 46});

template <class Board, int... Args> std::unique_ptr<BoardModel> Make()
{
    return std::make_unique<Board>(Args...);
}

// A board type and what builds its model. Each family's file lists its own,
// so a board of that family is added there alone.
struct ModelRow {
    int type;
    std::unique_ptr<BoardModel> (*make)();
};

// The MSI boards' models (MsiBoards.cpp).
std::span<const ModelRow> MsiModels();

} // namespace bypass::sim
