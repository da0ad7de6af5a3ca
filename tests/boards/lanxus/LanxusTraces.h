// Expected traffic of the LANXUS boards' ITE Super I/O, shared by their trace
// tests and the end-to-end suite: one configuration sequence is the entry
// key 87 01 55 55 on port 2E, logical device 7 selected, each register
// written through 2E/2F in the order given, then leaving through 02 = 02.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

namespace bypass::test {

// Register and value as they appear in a trace ("71", "80").
using SioWrite = std::pair<const char*, const char*>;

inline std::string LanxusSioSequence(std::initializer_list<SioWrite> writes)
{
    std::string lines = "out8 2E 87\nout8 2E 01\nout8 2E 55\nout8 2E 55\nout8 2E 07\nout8 2F 07\n";
    for (const SioWrite& write : writes)
        lines += std::string("out8 2E ") + write.first + "\nout8 2F " + write.second + "\n";
    return lines + "out8 2E 02\nout8 2F 02\n";
}

} // namespace bypass::test
