// Runs inside the QEMU guest of porttalk-qemu.sh, linked statically: the
// checks that need a system call, each printing PASS or FAIL with its name.
//   as UID GID CHECK...  runs CHECK as that user, with GID its only group
//   open-refused | config | refusals | iopl-refused | spd | tool
#include "framework/BypassToolC.h"
#include "portio/LinuxPortPath.h"
#include "porttalk/PortTalkDevice.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const unsigned long kSmbusClass = 0x8000FB08ul;
const unsigned long kSmbusBar = 0x8000FB20ul;

bool Report(const char* name, bool passed)
{
    std::printf("%s %s\n", passed ? "PASS" : "FAIL", name);
    return passed;
}

// One request through the device: 0 or the errno it failed with.
int Request(int fd, unsigned long code, unsigned long port, unsigned long value,
    unsigned long* answer = nullptr)
{
    unsigned char buffer[PORTTALK_DEVICE_BUFFER] = {};
    const bool wide = code == PORTTALK_READ_ULONG || code == PORTTALK_WRITE_ULONG;
    for (int i = 0; i < 4; ++i) {
        buffer[i] = static_cast<unsigned char>(port >> (8 * i));
        buffer[(wide ? 4 : 2) + i] = static_cast<unsigned char>(value >> (8 * i));
    }
    if (ioctl(fd, code, buffer) != 0)
        return errno;
    if (answer)
        *answer = buffer[0] | buffer[1] << 8 | buffer[2] << 16
            | static_cast<unsigned long>(buffer[3]) << 24;
    return 0;
}

unsigned long ConfigThroughDevice(int fd, unsigned long address)
{
    unsigned long value = 0;
    if (Request(fd, PORTTALK_WRITE_ULONG, 0xCF8, address) != 0
        || Request(fd, PORTTALK_READ_ULONG, 0xCFC, 0, &value) != 0)
        return 0;
    return value;
}

// What the kernel itself reads of 00:1f.3's configuration space.
unsigned long ConfigFromSysfs(unsigned offset)
{
    unsigned char dword[4] = {};
    FILE* file = std::fopen("/sys/bus/pci/devices/0000:00:1f.3/config", "rb");
    if (file && std::fseek(file, offset, SEEK_SET) == 0)
        (void)!std::fread(dword, 1, 4, file);
    if (file)
        std::fclose(file);
    return dword[0] | dword[1] << 8 | dword[2] << 16 | static_cast<unsigned long>(dword[3]) << 24;
}

unsigned short SmbusBase() { return ConfigFromSysfs(0x20) & 0xFFFE; }

int OpenRefused()
{
    const int fd = open(PORTTALK_DEVICE_PATH, O_RDWR);
    return Report(
               "a user outside group bypassctl cannot open the device", fd < 0 && errno == EACCES)
        ? 0
        : 1;
}

// The emulated 0xCF8/0xCFC pair answers what the kernel reads of the ICH9
// SMBus controller.
int Config()
{
    const int fd = open(PORTTALK_DEVICE_PATH, O_RDWR);
    const unsigned long cls = ConfigThroughDevice(fd, kSmbusClass);
    const unsigned long bar = ConfigThroughDevice(fd, kSmbusBar);
    std::printf("00:1f.3 through the device: class %08lX, base register %08lX\n", cls, bar);
    return Report("the device reads 00:1f.3's class and base as the kernel does",
               fd >= 0 && cls >> 16 == 0x0C05 && cls == ConfigFromSysfs(0x08)
                   && bar == ConfigFromSysfs(0x20))
        ? 0
        : 1;
}

int Refusals()
{
    const int fd = open(PORTTALK_DEVICE_PATH, O_RDWR);
    const unsigned short base = SmbusBase();
    const struct {
        const char* name;
        unsigned long code, port, value;
        int error;
    } kCases[] = {
        {"an unlisted port (keyboard controller 0x64) is refused", PORTTALK_READ_UCHAR, 0x64, 0,
            EPERM},
        {"a write to the SPD EEPROM at 0x50 is refused", PORTTALK_WRITE_UCHAR, base + 4u, 0xA0u,
            EPERM},
        {"the bypass controller's address (0x37) is served", PORTTALK_WRITE_UCHAR, base + 4u, 0x6Eu,
            0},
        {"a 32-bit request above port 0xFFFF is malformed", PORTTALK_READ_ULONG, 0x10000, 0,
            EINVAL},
        {"an unknown code is not a request", 0x9C402420ul, 0x2E, 0, ENOTTY},
    };
    int failed = 0;
    for (const auto& c : kCases)
        failed += !Report(c.name, fd >= 0 && Request(fd, c.code, c.port, c.value) == c.error);
    return failed;
}

int IoplRefused()
{
    return Report("iopl(3) fails in lockdown", iopl(3) != 0 && errno == EPERM) ? 0 : 1;
}

// Byte-data reads of the first 64 bytes of an SPD EEPROM (the bypass
// controller's registers, 0x10-0x25, among them), straight through the host
// controller with iopl (the device would refuse the address): one line per
// address with the statuses the reads ended with, ORed.
void ReadSpd(unsigned short base, unsigned address)
{
    unsigned statuses = 0;
    char bytes[2 * 64 + 1] = {};
    for (unsigned offset = 0; offset < 64; ++offset) {
        outb(0xFF, base);
        outb(static_cast<unsigned char>(address << 1 | 1), base + 4);
        outb(static_cast<unsigned char>(offset), base + 3);
        outb(0x48, base + 2);
        unsigned char status = 0x01;
        for (int i = 0; i < 1000 && (status & 0x01 || !(status & 0x1E)); ++i)
            status = inb(base);
        statuses |= status;
        std::snprintf(bytes + 2 * offset, 3, "%02X", inb(base + 5));
    }
    std::printf("spd %02X status %02X: %s\n", address, statuses, bytes);
}

int Spd()
{
    const unsigned short base = SmbusBase();
    if (base == 0 || iopl(3) != 0)
        return 1;
    for (unsigned address = 0x50; address <= 0x57; ++address)
        ReadSpd(base, address);
    iopl(0);
    return 0;
}

// The SMBus board's tool, type 5003, through the library as a host links
// it. Its messages go to standard output and error for the script to check.
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

int RunAs(int argc, char** argv)
{
    const uid_t uid = static_cast<uid_t>(std::atoi(argv[2]));
    const gid_t gid = static_cast<gid_t>(std::atoi(argv[3]));
    if (setgroups(1, &gid) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
        return 1;
    (void)argc;
    argv[3] = argv[0];
    execv(argv[0], argv + 3);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const struct {
        const char* name;
        int (*run)();
    } kChecks[] = {{"open-refused", OpenRefused}, {"config", Config}, {"refusals", Refusals},
        {"iopl-refused", IoplRefused}, {"spd", Spd}, {"tool", Tool}};
    if (argc >= 5 && std::strcmp(argv[1], "as") == 0)
        return RunAs(argc, argv);
    for (const auto& check : kChecks)
        if (argc == 2 && std::strcmp(argv[1], check.name) == 0)
            return check.run();
    std::fprintf(stderr, "usage: %s [as UID GID] CHECK\n", argv[0]);
    return 2;
}
