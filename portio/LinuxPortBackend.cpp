#include "portio/PortBackend.h"

#include <sys/io.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace bypass {
namespace {

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

    // An absolute deadline, so a signal that interrupts the sleep does not
    // shorten or lengthen the pause.
    void SleepMs(unsigned ms) override
    {
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += ms / 1000;
        deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) { }
    }

private:
    bool Granted(const char* what) const
    {
        if (!m_open)
            std::printf("Error occured during %s: no port access (iopl not granted)\n", what);
        return m_open;
    }

    bool m_open = false;
};

} // namespace

PortBackend& PlatformPortBackend()
{
    static IoplPortBackend backend;
    return backend;
}

} // namespace bypass
