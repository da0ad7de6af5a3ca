// The client side of the PortTalk protocol, whatever carries it.
//
// The library asks for each port access as one request of the driver
// protocol (include/porttalk/PortTalkProtocol.h). The encoding of those
// requests is here, once; a transport carries one request to a host of the
// driver and its answer back: DeviceIoControl on the Windows device, a Unix
// socket to a virtual appliance, the Linux device node.
#pragma once

#include "portio/PortBackend.h"
#include "porttalk/PortTalkProtocol.h"

#include <cstdint>

namespace bypass {

// Carries one request to the device and its answer back.
class PortTalkTransport {
public:
    virtual ~PortTalkTransport() = default;

    // Sends the request code with the inSize bytes of input in buffer; the
    // device writes up to outSize bytes of answer into the same buffer.
    // True when the device performed the request. On failure the buffer is
    // left as it was.
    virtual bool Send(
        unsigned long code, unsigned char* buffer, unsigned long inSize, unsigned long outSize)
        = 0;
    // Why the last Send failed, as the failure line shows it: a Win32 error
    // code for the device's own refusals on every transport (see below), so
    // a refusal prints the same number whatever carried it.
    virtual unsigned long LastError() const = 0;
};

// The Win32 codes of the device's refusals, as DeviceIoControl reports them.
constexpr unsigned long kPortTalkUnknownRequestError = 1; // ERROR_INVALID_FUNCTION
constexpr unsigned long kPortTalkRefusedError = 5;        // ERROR_ACCESS_DENIED
constexpr unsigned long kPortTalkMalformedError = 87;     // ERROR_INVALID_PARAMETER

// The request of one kind of access (PortTalkClient.cpp).
struct PortTalkAccess;

// The six port accesses as requests over a transport. A request that fails
// prints one line on standard output and is counted; the access then
// answers the bytes its request was built from (the port, for a read), and
// the caller's sequence goes on.
class PortTalkClient {
public:
    explicit PortTalkClient(PortTalkTransport& transport)
        : m_transport(transport)
    {
    }

    std::uint8_t In8(std::uint16_t port);
    std::uint16_t In16(std::uint16_t port);
    std::uint32_t In32(std::uint32_t port);
    void Out8(std::uint16_t port, std::uint8_t value);
    void Out16(std::uint16_t port, std::uint16_t value);
    void Out32(std::uint32_t port, std::uint32_t value);

    // The requests that failed since the client was made.
    unsigned long Failed() const { return m_failed; }

private:
    // Sends one access's request and answers the first four bytes of the
    // buffer afterwards: a read's answer, or the request's own bytes when it
    // failed.
    std::uint32_t Transfer(const PortTalkAccess& access, std::uint32_t port, std::uint32_t value);
    void Send(unsigned long code, unsigned char* buffer, unsigned long inSize,
        unsigned long outSize, const char* what);

    PortTalkTransport& m_transport;
    unsigned long m_failed = 0;
};

// A port backend whose six accesses are the client's requests over a
// transport, and whose failures are the client's; each such backend adds
// how it opens, closes and sleeps. The transport is the derived backend's
// member: the client only keeps the reference while both are built.
class PortTalkClientBackend : public PortBackend {
public:
    explicit PortTalkClientBackend(PortTalkTransport& transport)
        : m_client(transport)
    {
    }

    std::uint8_t In8(std::uint16_t port) override { return m_client.In8(port); }
    std::uint16_t In16(std::uint16_t port) override { return m_client.In16(port); }
    std::uint32_t In32(std::uint32_t port) override { return m_client.In32(port); }
    void Out8(std::uint16_t port, std::uint8_t value) override { m_client.Out8(port, value); }
    void Out16(std::uint16_t port, std::uint16_t value) override { m_client.Out16(port, value); }
    void Out32(std::uint32_t port, std::uint32_t value) override { m_client.Out32(port, value); }
    unsigned long FailedAccesses() const override { return m_client.Failed(); }

private:
    PortTalkClient m_client;
};

// Little-endian fields of the requests and of the socket's frames.
void PutLe16(unsigned char* at, std::uint16_t value);
void PutLe32(unsigned char* at, std::uint32_t value);
std::uint16_t GetLe16(const unsigned char* at);
std::uint32_t GetLe32(const unsigned char* at);

} // namespace bypass
