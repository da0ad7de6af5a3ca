#include "portio/Appliance.h"
#include "portio/LinuxPortPath.h"
#include "portio/PortTalkClient.h"
#include "portio/SysfsPciConfig.h"
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

// The device's refusals as the Windows driver's codes, so that a refused
// access prints the same number on every transport.
unsigned long DeviceError(int error)
{
    switch (error) {
    case EPERM:
        return kPortTalkRefusedError;
    case EINVAL:
        return kPortTalkMalformedError;
    case ENOTTY:
        return kPortTalkUnknownRequestError;
    default:
        return static_cast<unsigned long>(error);
    }
}

// /dev/porttalk: one ioctl per request, as include/porttalk/PortTalkDevice.h
// describes; the sizes are the code's own, so a request of other sizes
// never reaches the device.
class DeviceTransport : public PortTalkTransport {
public:
    // False with errno's reason in OpenError.
    bool Open()
    {
        m_fd = open(PORTTALK_DEVICE_PATH, O_RDWR | O_CLOEXEC);
        m_openError = errno;
        return m_fd >= 0;
    }
    void Close()
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }
    int OpenError() const { return m_openError; }

    bool Send(unsigned long code, unsigned char* buffer, unsigned long inSize,
        unsigned long outSize) override
    {
        unsigned long deviceIn = 0, deviceOut = 0;
        if (!PortTalkDeviceSizes(code, &deviceIn, &deviceOut))
            m_error = kPortTalkUnknownRequestError;
        else if (deviceIn != inSize || deviceOut != outSize)
            m_error = kPortTalkMalformedError;
        else if (ioctl(m_fd, code, buffer) == 0)
            return true;
        else
            m_error = DeviceError(errno);
        return false;
    }
    unsigned long LastError() const override { return m_error; }

private:
    int m_fd = -1;
    int m_openError = 0;
    unsigned long m_error = 0;
};

// Port access on Linux, by one of two paths. The PortTalk device
// (/dev/porttalk, the porttalk kernel module) serves only the boards'
// accesses, to members of group bypassctl, and works in lockdown. iopl(3)
// hands the process every port and needs root or CAP_SYS_RAWIO (ioperm
// would stop at 0x3FF, below the chipset GPIO and SMBus ranges); it is the
// fall-back where the module is not installed. On that path the PCI
// configuration pair is answered from sysfs and never reaches the bus
// (see SysfsPciConfig), as the device emulates it.
class LinuxPortBackend : public PortBackend {
public:
    int Open() override
    {
        if (m_device.Open())
            return Opened(PortPath::Device);
        if (iopl(3) == 0)
            return Opened(PortPath::Iopl);
        const int ioplError = errno;
        std::printf("BypassTool: no port access: %s: %s (%s); iopl(3): %s (%s)\n",
            PORTTALK_DEVICE_PATH, std::strerror(m_device.OpenError()),
            DeviceHint(m_device.OpenError()), std::strerror(ioplError), IoplHint(ioplError));
        return -1;
    }

    void Close() override
    {
        if (m_path == PortPath::Device)
            m_device.Close();
        else if (m_path == PortPath::Iopl)
            iopl(0);
        m_path = PortPath::None;
    }

    std::uint8_t In8(std::uint16_t port) override
    {
        return m_path == PortPath::Device ? m_client.In8(port)
                                          : IoplRead<std::uint8_t>(port, "inportb", inb);
    }
    std::uint16_t In16(std::uint16_t port) override
    {
        return m_path == PortPath::Device ? m_client.In16(port)
                                          : IoplRead<std::uint16_t>(port, "inportl", inw);
    }
    std::uint32_t In32(std::uint32_t port) override
    {
        return m_path == PortPath::Device ? m_client.In32(port)
                                          : IoplRead<std::uint32_t>(port, "inportl", inl);
    }
    void Out8(std::uint16_t port, std::uint8_t value) override
    {
        if (m_path == PortPath::Device)
            m_client.Out8(port, value);
        else
            IoplWrite(port, value, "outportb", outb);
    }
    void Out16(std::uint16_t port, std::uint16_t value) override
    {
        if (m_path == PortPath::Device)
            m_client.Out16(port, value);
        else
            IoplWrite(port, value, "outportl", outw);
    }
    void Out32(std::uint32_t port, std::uint32_t value) override
    {
        if (m_path == PortPath::Device)
            m_client.Out32(port, value);
        else
            IoplWrite(port, value, "outportl", outl);
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

    unsigned long FailedAccesses() const override { return m_failed + m_client.Failed(); }

    PortPath LastPath() const { return m_lastPath; }

private:
    int Opened(PortPath path)
    {
        m_path = m_lastPath = path;
        return 0;
    }

    // With neither path open the in/out instructions would fault; like the
    // PortTalk client, report each refused access and answer the request's
    // own bytes. The PCI configuration pair is sysfs's.
    template <class Value>
    Value IoplRead(std::uint32_t port, const char* what, Value (*instruction)(unsigned short))
    {
        if (!Granted(what))
            return static_cast<Value>(port);
        return SysfsPciConfig::Serves(port) ? static_cast<Value>(m_config.Read(port, sizeof(Value)))
                                            : instruction(static_cast<std::uint16_t>(port));
    }
    template <class Value>
    void IoplWrite(std::uint32_t port, Value value, const char* what,
        void (*instruction)(Value, unsigned short))
    {
        if (!Granted(what))
            return;
        if (SysfsPciConfig::Serves(port))
            m_config.Write(port, sizeof(Value), value);
        else
            instruction(value, static_cast<std::uint16_t>(port));
    }

    bool Granted(const char* what)
    {
        if (m_path == PortPath::Iopl)
            return true;
        std::printf("Error occured during %s: no port access (iopl not granted)\n", what);
        ++m_failed;
        return false;
    }

    DeviceTransport m_device;
    PortTalkClient m_client{m_device};
    PortPath m_path = PortPath::None;
    PortPath m_lastPath = PortPath::None;
    unsigned long m_failed = 0;
    SysfsPciConfig m_config{"/sys/bus/pci/devices"};
};

LinuxPortBackend& LinuxPorts()
{
    static LinuxPortBackend backend;
    return backend;
}

} // namespace

// A named virtual appliance takes the place of the ports, never the other
// way round: a dead one fails as missing port access does.
PortBackend& PlatformPortBackend()
{
    return AppliancePath() ? AppliancePortBackend() : LinuxPorts();
}

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
