// The client of the PortTalk kernel driver, which performs each port access
// the library asks for, and the driver's installation and start.
#pragma once

#if defined(_WIN32)

#include "portio/PortBackend.h"
#include "portio/PortTalkClient.h"

#include <windows.h>

// The one process-wide handle of the driver's device; invalid while closed.
extern HANDLE g_hPortDriver;

// Starts the "PortTalk" service, installing it first when it does not exist.
// True when the service was started or already running.
bool StartPortDriver();
// Copies PortTalk.sys from the host executable's directory into the system
// drivers directory and registers the demand-start kernel driver service.
void InstallPortDriver();

namespace bypass {

// Port access through "\\.\PortTalk": one device I/O control request per
// access, on g_hPortDriver.
class PortTalkBackend : public PortBackend {
public:
    int Open() override;
    void Close() override;
    std::uint8_t In8(std::uint16_t port) override { return m_client.In8(port); }
    std::uint16_t In16(std::uint16_t port) override { return m_client.In16(port); }
    std::uint32_t In32(std::uint32_t port) override { return m_client.In32(port); }
    void Out8(std::uint16_t port, std::uint8_t value) override { m_client.Out8(port, value); }
    void Out16(std::uint16_t port, std::uint16_t value) override { m_client.Out16(port, value); }
    void Out32(std::uint32_t port, std::uint32_t value) override { m_client.Out32(port, value); }
    void SleepMs(unsigned ms) override;
    unsigned long FailedAccesses() const override { return m_client.Failed(); }

private:
    class DeviceTransport : public PortTalkTransport {
    public:
        bool Send(unsigned long code, unsigned char* buffer, unsigned long inSize,
            unsigned long outSize) override;
        unsigned long LastError() const override;
    };

    DeviceTransport m_device;
    PortTalkClient m_client{m_device};
};

} // namespace bypass

#endif
