// porttalk-qemu.sh's guest checks that need system calls (static):
//   porttalk-vm-check config|refusals|iopl-refused|spd|tool
#include "framework/BypassToolC.h"
#include "portio/LinuxPortPath.h"
#include "porttalk/PortTalkDevice.h"

#include <fcntl.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

int Report(const char* name, bool passed)
{
    std::printf("%s %s\n", passed ? "PASS" : "FAIL", name);
    return passed ? 0 : 1;
}

// One request through the device (x86 is little-endian, as the layouts): 0 or its errno.
int Request(int fd, unsigned long code, std::uint32_t port, std::uint32_t value = 0,
    std::uint32_t* answer = nullptr)
{
    unsigned char buffer[PORTTALK_DEVICE_BUFFER] = {};
    const bool wide = code == PORTTALK_READ_ULONG || code == PORTTALK_WRITE_ULONG;
    std::memcpy(buffer, &port, 4);
    std::memcpy(buffer + (wide ? PORTTALK_VALUE_OFFSET_ULONG : PORTTALK_VALUE_OFFSET), &value, 4);
    if (ioctl(fd, code, buffer) != 0)
        return errno;
    if (answer)
        std::memcpy(answer, buffer, 4);
    return 0;
}

// A dword of 00:1f.3's configuration space as the kernel reads it.
std::uint32_t SysfsConfig(off_t offset)
{
    std::uint32_t value = 0;
    const int fd = open("/sys/bus/pci/devices/0000:00:1f.3/config", O_RDONLY);
    return fd >= 0 && pread(fd, &value, 4, offset) == 4 ? value : 0;
}

std::uint16_t SmbusBase() { return SysfsConfig(0x20) & 0xFFFE; }

// The emulated 0xCF8/0xCFC pair answers what the kernel reads of ICH9's SMBus.
int Config()
{
    const int fd = open(PORTTALK_DEVICE_PATH, O_RDWR);
    std::uint32_t cls = 0, bar = 0;
    Request(fd, PORTTALK_WRITE_ULONG, 0xCF8, 0x8000FB08);
    Request(fd, PORTTALK_READ_ULONG, 0xCFC, 0, &cls);
    Request(fd, PORTTALK_WRITE_ULONG, 0xCF8, 0x8000FB20);
    Request(fd, PORTTALK_READ_ULONG, 0xCFC, 0, &bar);
    std::printf("00:1f.3 through the device: class %08X, base register %08X\n", cls, bar);
    return Report("the device reads 00:1f.3's class and base as the kernel does",
        cls >> 16 == 0x0C05 && cls == SysfsConfig(0x08) && bar == SysfsConfig(0x20));
}

int Refusals()
{
    const int fd = open(PORTTALK_DEVICE_PATH, O_RDWR);
    const std::uint32_t slave = SmbusBase() + 4u;
    const struct {
        const char* name;
        unsigned long code;
        std::uint32_t port, value;
        int error;
    } kCases[] = {
        {"an unlisted port (0x64) is refused", PORTTALK_READ_UCHAR, 0x64, 0, EPERM},
        {"a write to the SPD EEPROM at 0x50 is refused", PORTTALK_WRITE_UCHAR, slave, 0xA0, EPERM},
        {"a write to the bypass controller (0x37) is served", PORTTALK_WRITE_UCHAR, slave, 0x6E, 0},
        {"a 32-bit request above port 0xFFFF is malformed", PORTTALK_READ_ULONG, 0x10000, 0,
            EINVAL},
        {"an unknown code is not a request", 0x9C402420ul, 0x2E, 0, ENOTTY},
    };
    int failed = 0;
    for (const auto& c : kCases)
        failed += Report(c.name, Request(fd, c.code, c.port, c.value) == c.error);
    return failed;
}

int IoplRefused() { return Report("iopl(3) fails in lockdown", iopl(3) != 0 && errno == EPERM); }

// Byte-data reads of the first 64 bytes of each SPD EEPROM, with iopl (the
// device refuses them); one line per address, the statuses ORed.
int Spd()
{
    const std::uint16_t base = SmbusBase();
    if (base == 0 || iopl(3) != 0)
        return 1;
    for (unsigned address = 0x50; address <= 0x57; ++address) {
        unsigned statuses = 0;
        std::printf("spd %02X:", address);
        for (unsigned offset = 0; offset < 64; ++offset) {
            outb(0xFF, base);
            outb(static_cast<unsigned char>(address << 1 | 1), base + 4);
            outb(static_cast<unsigned char>(offset), base + 3);
            outb(0x48, base + 2);
            unsigned char status = 0x01;
            for (int i = 0; i < 1000 && (status & 0x01 || !(status & 0x1E)); ++i)
                status = inb(base);
            statuses |= status;
            std::printf("%02X", inb(base + 5));
        }
        std::printf(" status %02X\n", statuses);
    }
    return 0;
}

// The SMBus board's tool (5003) as a host runs it; the script checks its messages.
int Tool()
{
    bypass_tool* tool = bypass_tool_create(5003);
    const int enable = bypass_tool_enable_bypass(tool);
    const int arm = bypass_tool_set_wdt_timeout_bypass(tool, 0, 300);
    const int disable = bypass_tool_disable_bypass(tool);
    std::printf("results: type %d, EnableBypass %d, SetWDTTimeout_Bypass %d, DisableBypass %d, "
                "path %s\n",
        bypass_tool_type(tool), enable, arm, disable,
        bypass::PortPathName(bypass::PlatformPortPath()));
    std::fflush(stdout);
    bypass_tool_destroy(tool);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const struct {
        const char* name;
        int (*run)();
    } kChecks[] = {{"config", Config}, {"refusals", Refusals}, {"iopl-refused", IoplRefused},
        {"spd", Spd}, {"tool", Tool}};
    for (const auto& check : kChecks)
        if (argc == 2 && std::strcmp(argv[1], check.name) == 0)
            return check.run();
    return 2;
}
