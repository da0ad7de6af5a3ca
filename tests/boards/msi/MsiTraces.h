// Pieces of expected traces on the MSI Super I/O at ports 0x4E/0x4F. Where
// a piece reads a register, the test scripts port 0x4F to answer: 0x2D
// reads 07, 0xF7 reads 5B before the status is cleared and 50 before the
// expiry is forced.
#pragma once

#include <string>

namespace bypass::test {

inline const std::string kEnter = "out8 4E 87\nout8 4E 87\n";
inline const std::string kExit = "out8 4E AA\n";

// Register reg written with value: the index, then the data.
inline std::string Write(const std::string& reg, const std::string& value)
{
    return "out8 4E " + reg + "\nout8 4F " + value + "\n";
}

inline const std::string kSelectDevice8 = R"(
    out8 4E 2D
    in8 4F -> 07
    out8 4F 06    # bit 0 of 0x2D cleared
)" + Write("07", "08");

inline const std::string kClearStatus = R"(
    out8 4E F7
    in8 4F -> 5B
    out8 4F 4B    # bit 4 cleared, the rest as read
)";

inline const std::string kForceExpiry = R"(
    out8 4E F7
    in8 4F -> 50
    out8 4F 70    # bit 5 set
)";

// Arming on device 8 with an expiry action and a counter byte.
inline std::string Arm(const std::string& action, const std::string& counter)
{
    return kClearStatus + Write("30", "01") + Write("F5", action) + Write("F6", counter);
}

} // namespace bypass::test
