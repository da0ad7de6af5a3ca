#include "portio/SysfsPciConfig.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

namespace bypass {
namespace {

constexpr std::uint32_t kAddressPort = 0xCF8;
constexpr std::uint32_t kDataPort = 0xCFC;
constexpr std::uint32_t kEnable = 0x80000000u;
constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;

// "0000:00:1f.3" for bus 0, device 31, function 3 of the address.
std::string FunctionName(std::uint32_t address)
{
    char name[16];
    std::snprintf(name, sizeof name, "0000:%02x:%02x.%x", (address >> 16) & 0xFF,
        (address >> 11) & 0x1F, (address >> 8) & 0x7);
    return name;
}

std::uint32_t Bytes(std::uint32_t value, unsigned width)
{
    return width >= 4 ? value : value & ((1u << (8 * width)) - 1);
}

} // namespace

SysfsPciConfig::SysfsPciConfig(std::string devices)
    : m_devices(std::move(devices))
{
}

bool SysfsPciConfig::Serves(std::uint32_t port) { return port >= kAddressPort && port <= 0xCFF; }

std::uint32_t SysfsPciConfig::Read(std::uint32_t port, unsigned width) const
{
    if (port == kAddressPort && width == 4)
        return m_address;
    if (port < kDataPort)
        return Bytes(kAllOnes, width);
    return Bytes(SelectedDword() >> (8 * (port - kDataPort)), width);
}

void SysfsPciConfig::Write(std::uint32_t port, unsigned width, std::uint32_t value)
{
    if (port == kAddressPort && width == 4)
        m_address = value;
}

std::uint32_t SysfsPciConfig::SelectedDword() const
{
    if (!(m_address & kEnable))
        return kAllOnes;
    const std::string path = m_devices + "/" + FunctionName(m_address) + "/config";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return kAllOnes;
    // Configuration space is little-endian.
    unsigned char bytes[4];
    const bool whole = pread(fd, bytes, sizeof bytes, m_address & 0xFC) == sizeof bytes;
    close(fd);
    if (!whole)
        return kAllOnes;
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

} // namespace bypass
