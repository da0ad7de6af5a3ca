// PCI configuration mechanism 1 (the address port 0xCF8, the data ports
// 0xCFC-0xCFF) answered from the kernel's view of configuration space
// instead of the bus.
//
// The kernel performs its own configuration cycles at any time, under a
// lock a user process cannot take: a process that writes 0xCF8 and then
// reads 0xCFC can read another function's register, or make the kernel do
// so. So the Linux backend never touches these ports. It keeps the address
// written to 0xCF8 itself, as the PortTalk driver keeps it per handle, and
// answers a read of the data ports with the selected dword of the
// function's configuration file in sysfs
// (<devices>/0000:<bus>:<device>.<function>/config), read at the
// register's offset.
#pragma once

#include <cstdint>
#include <string>

namespace bypass {

class SysfsPciConfig {
public:
    // devices: the directory of the PCI functions, /sys/bus/pci/devices on
    // a running system.
    explicit SysfsPciConfig(std::string devices);

    // Whether port belongs to the pair (0xCF8-0xCFF).
    static bool Serves(std::uint32_t port);

    // An access of width bytes (1, 2 or 4) to a port of the pair. A dword
    // written to 0xCF8 selects an address and reads back; the data ports
    // answer the selected dword's bytes from their offset on, all ones when
    // the enable bit is clear or the function has no readable configuration
    // file, as an absent function reads. Other writes are dropped: the
    // library only reads configuration space.
    std::uint32_t Read(std::uint32_t port, unsigned width) const;
    void Write(std::uint32_t port, unsigned width, std::uint32_t value);

private:
    std::uint32_t SelectedDword() const;

    std::string m_devices;
    std::uint32_t m_address = 0;
};

} // namespace bypass
