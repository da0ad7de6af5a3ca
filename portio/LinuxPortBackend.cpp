#include "portio/Appliance.h"
#include "portio/PortBackend.h"

#include <sys/io.h>

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

// Port access through iopl(3): all 65536 ports for this process (ioperm
// would stop at 0x3FF, below the chipset GPIO and SMBus ranges).
class IoplPortBackend : public PortBackend {
public:
    int Open() override
    {
        if (iopl(3) == 0) {
            m_open = true;
            return 0;
        }
        const int error = errno;
        // A kernel built without the iopl emulation refuses everyone: being
        // root would not help there.
        if (error == ENOSYS)
            std::printf("BypassTool: no port access: the kernel offers no port I/O (iopl(3): %s)\n",
                std::strerror(error));
        else
            std::printf("BypassTool: no port access: iopl(3) failed (%s); run as root or grant "
                        "CAP_SYS_RAWIO\n",
                std::strerror(error));
        return -1;
    }

    void Close() override
    {
        if (!m_open)
            return;
        iopl(0);
        m_open = false;
    }

    // Without iopl the in/out instructions would fault; like the PortTalk
    // client, report each refused access and answer the request's own bytes.
    std::uint8_t In8(std::uint16_t port) override
    {
        return Granted("inportb") ? inb(port) : static_cast<std::uint8_t>(port);
    }
    std::uint16_t In16(std::uint16_t port) override
    {
        return Granted("inportl") ? inw(port) : port;
    }
    std::uint32_t In32(std::uint32_t port) override
    {
        return Granted("inportl") ? inl(static_cast<std::uint16_t>(port)) : port;
    }
    void Out8(std::uint16_t port, std::uint8_t value) override
    {
        if (Granted("outportb"))
            outb(value, port);
    }
    void Out16(std::uint16_t port, std::uint16_t value) override
    {
        if (Granted("outportl"))
            outw(value, port);
    }
    void Out32(std::uint32_t port, std::uint32_t value) override
    {
        if (Granted("outportl"))
            outl(value, static_cast<std::uint16_t>(port));
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

private:
    bool Granted(const char* what)
    {
        if (m_open)
            return true;
        std::printf("Error occured during %s: no port access (iopl not granted)\n", what);
        ++m_failed;
        return false;
    }

    bool m_open = false;
    unsigned long m_failed = 0;
};

} // namespace

// A named virtual appliance takes the place of the ports, never the other
// way round: a dead one fails as missing port access does.
PortBackend& PlatformPortBackend()
{
    static IoplPortBackend backend;
    return AppliancePath() ? AppliancePortBackend() : backend;
}

} // namespace bypass
