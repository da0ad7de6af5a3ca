#include "portio/LinuxPortPath.h"
#include "porttalk/PortTalkDevice.h"

#include <fcntl.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace bypass {
namespace {

constexpr long long kSpinNs = 200000; // the last 0.2 ms of a pause

long long MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

const char* DeviceHint(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "the porttalk module is not loaded";
    case EACCES:
    case EPERM:
        return "join group bypassctl";
    default:
        return "cannot open it";
    }
}

// A kernel built without the iopl emulation refuses everyone, and one in
// lockdown refuses root too: being root would not help there.
const char* IoplHint(int error)
{
    return error == ENOSYS ? "the kernel offers no port I/O"
                           : "needs root or CAP_SYS_RAWIO, and a kernel not in lockdown";
}

std::uint16_t GetLe16(const unsigned char* at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

void PutLe16(unsigned char* at, std::uint16_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

std::uint32_t GetLe32(const unsigned char* at)
{
    return GetLe16(at) | (static_cast<std::uint32_t>(GetLe16(at + 2)) << 16);
}

void PutLe32(unsigned char* at, std::uint32_t value)
{
    PutLe16(at, static_cast<std::uint16_t>(value));
    PutLe16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

// Port access on Linux, by one of two paths. The PortTalk device
// (/dev/porttalk, the porttalk kernel module) serves only the boards'
// accesses, to members of group bypassctl, and works in lockdown. iopl(3)
// hands the process every port and needs root or CAP_SYS_RAWIO (ioperm
// would stop at 0x3FF, below the chipset GPIO and SMBus ranges); it is the
// fall-back where the module is not installed.
class LinuxPortBackend : public PortBackend {
public:
    int Open() override
    {
        m_device = open(PORTTALK_DEVICE_PATH, O_RDWR | O_CLOEXEC);
        if (m_device >= 0)
            return Opened(PortPath::Device);
        const int deviceError = errno;
        if (iopl(3) == 0)
            return Opened(PortPath::Iopl);
        const int ioplError = errno;
        std::printf("BypassTool: no port access: %s: %s (%s); iopl(3): %s (%s)\n",
            PORTTALK_DEVICE_PATH, std::strerror(deviceError), DeviceHint(deviceError),
            std::strerror(ioplError), IoplHint(ioplError));
        return -1;
    }

    void Close() override
    {
        if (m_path == PortPath::Device)
            close(m_device);
        else if (m_path == PortPath::Iopl)
            iopl(0);
        m_device = -1;
        m_path = PortPath::None;
    }

    // With neither path open the in/out instructions would fault; like the
    // PortTalk client, report each refused access and answer the request's
    // own bytes.
    std::uint8_t In8(std::uint16_t port) override
    {
        unsigned char request[PORTTALK_DEVICE_BUFFER] = {};
        PutLe16(request, port);
        if (m_path == PortPath::Iopl)
            return inb(port);
        Send(PORTTALK_READ_UCHAR, request, "inportb");
        return request[0];
    }
    std::uint16_t In16(std::uint16_t port) override
    {
        unsigned char request[PORTTALK_DEVICE_BUFFER] = {};
        PutLe16(request, port);
        if (m_path == PortPath::Iopl)
            return inw(port);
        Send(PORTTALK_READ_USHORT, request, "inportl");
        return GetLe16(request);
    }
    std::uint32_t In32(std::uint32_t port) override
    {
        unsigned char request[PORTTALK_DEVICE_BUFFER] = {};
        PutLe32(request, port);
        if (m_path == PortPath::Iopl)
            return inl(static_cast<std::uint16_t>(port));
        Send(PORTTALK_READ_ULONG, request, "inportl");
        return GetLe32(request);
    }
    void Out8(std::uint16_t port, std::uint8_t value) override
    {
        unsigned char request[PORTTALK_DEVICE_BUFFER] = {};
        PutLe16(request, port);
        request[PORTTALK_VALUE_OFFSET] = value;
        if (m_path == PortPath::Iopl)
            outb(value, port);
        else
            Send(PORTTALK_WRITE_UCHAR, request, "outportb");
    }
    void Out16(std::uint16_t port, std::uint16_t value) override
    {
        unsigned char request[PORTTALK_DEVICE_BUFFER] = {};
        PutLe16(request, port);
        PutLe16(request + PORTTALK_VALUE_OFFSET, value);
        if (m_path == PortPath::Iopl)
            outw(value, port);
        else
            Send(PORTTALK_WRITE_USHORT, request, "outportl");
    }
    void Out32(std::uint32_t port, std::uint32_t value) override
    {
        unsigned char request[PORTTALK_DEVICE_BUFFER] = {};
        PutLe32(request, port);
        PutLe32(request + PORTTALK_VALUE_OFFSET_ULONG, value);
        if (m_path == PortPath::Iopl)
            outl(value, static_cast<std::uint16_t>(port));
        else
            Send(PORTTALK_WRITE_ULONG, request, "outportl");
    }

    // Sleeps to just short of an absolute deadline, then spins the rest: a
    // wake-up from the timer comes up to ~100 us late (timer slack, load),
    // which a protocol of dozens of 1 ms steps would add up to several
    // percent. The absolute deadline also keeps a signal from shortening the
    // pause.
    void SleepMs(unsigned ms) override
    {
        const long long deadline = MonotonicNs() + static_cast<long long>(ms) * 1000000LL;
        const long long wake = deadline - kSpinNs;
        const timespec until{
            static_cast<time_t>(wake / 1000000000LL), static_cast<long>(wake % 1000000000LL)};
        if (wake > MonotonicNs()) {
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) { }
        }
        while (MonotonicNs() < deadline) { }
    }

    unsigned long FailedAccesses() const override { return m_failed; }

    PortPath LastPath() const { return m_lastPath; }

private:
    int Opened(PortPath path)
    {
        m_path = m_lastPath = path;
        return 0;
    }

    // One request through the device. A failed read leaves the request's
    // bytes in its buffer, which its caller then answers.
    void Send(unsigned long code, unsigned char* request, const char* what)
    {
        if (m_path == PortPath::None) {
            std::printf("Error occured during %s: no port access (iopl not granted)\n", what);
            ++m_failed;
        } else if (ioctl(m_device, code, request) != 0) {
            std::printf("Error occured during %s while talking to %s: %s\n", what,
                PORTTALK_DEVICE_PATH, std::strerror(errno));
            ++m_failed;
        }
    }

    PortPath m_path = PortPath::None;
    PortPath m_lastPath = PortPath::None;
    int m_device = -1;
    unsigned long m_failed = 0;
};

LinuxPortBackend& LinuxPorts()
{
    static LinuxPortBackend backend;
    return backend;
}

} // namespace

PortBackend& PlatformPortBackend() { return LinuxPorts(); }

const char* PortPathName(PortPath path)
{
    switch (path) {
    case PortPath::Device:
        return "device " PORTTALK_DEVICE_PATH;
    case PortPath::Iopl:
        return "iopl";
    default:
        return "none";
    }
}

PortPath PlatformPortPath() { return LinuxPorts().LastPath(); }

} // namespace bypass
