// The one seam between the library and the hardware.
//
// Board code touches the machine only through the six port primitives and
// SleepMs below. Each of them forwards to the current PortBackend: on
// Windows the PortTalk driver client, on Linux iopl(3) and the in/out
// instructions, in tests a recorder that plays the hardware from a script.
#pragma once

#include <cstdint>

namespace bypass {

// A port backend performs the accesses. Its contract, operation by operation:
class PortBackend {
public:
    virtual ~PortBackend() = default;

    // Makes port access possible. Answers 0 when the backend can perform
    // accesses afterwards, -1 when it cannot (after printing why on standard
    // output). Open does not look at an earlier Open: the framework calls it
    // only while the backend is closed.
    virtual int Open() = 0;

    // Ends port access. Does nothing when the backend is not open, so a
    // second Close in a row has no effect.
    virtual void Close() = 0;

    // One 8-, 16- or 32-bit port read. A backend that cannot perform the
    // access (no access granted, a driver that refuses or fails the request)
    // prints one line on standard output, counts it in FailedAccesses and
    // answers a value of its own choosing (the PortTalk client answers the
    // bytes its request was built from): the board code's sequence goes on
    // as if the access had happened, so only the count tells.
    virtual std::uint8_t In8(std::uint16_t port) = 0;
    virtual std::uint16_t In16(std::uint16_t port) = 0;
    virtual std::uint32_t In32(std::uint32_t port) = 0;

    // One 8-, 16- or 32-bit port write. Failure is printed and counted as
    // for reads, and the caller's sequence goes on.
    virtual void Out8(std::uint16_t port, std::uint8_t value) = 0;
    virtual void Out16(std::uint16_t port, std::uint16_t value) = 0;
    virtual void Out32(std::uint32_t port, std::uint32_t value) = 0;

    // Blocks for at least ms milliseconds, and as little more as the
    // platform allows: the board protocols time their strobes with these.
    virtual void SleepMs(unsigned ms) = 0;

    // The accesses this backend could not perform since it was made, over
    // all opens. The count never goes down, so a caller that needs to know
    // whether a sequence reached the hardware compares it before and after.
    // A backend whose accesses cannot fail (a model, a recorder playing a
    // script) keeps the default, 0; one that forwards to another answers
    // that one's count.
    virtual unsigned long FailedAccesses() const { return 0; }
};

// The backend the primitives use now: the platform's own unless a test or
// tool installed another.
PortBackend& CurrentPortBackend();

// Installs backend as the current one (nullptr restores the platform's own)
// and answers the one it replaces. The caller keeps ownership.
PortBackend* SetPortBackend(PortBackend* backend);

// The platform's own backend (PortTalk client on Windows, iopl on Linux).
PortBackend& PlatformPortBackend();

} // namespace bypass

// The port primitives and the driver's open and close, as board code calls
// them. OpenPortDriver answers 0 when port access is open, -1 when not.
int OpenPortDriver();
void ClosePortDriver();
std::uint8_t inportb(std::uint16_t port);
void outportb(std::uint16_t port, std::uint8_t value);
std::uint16_t inportw(std::uint16_t port);
void outportw(std::uint16_t port, std::uint16_t value);
std::uint32_t inportl(std::uint32_t port);
void outportl(std::uint32_t port, std::uint32_t value);
void SleepMs(unsigned ms);
