// The client of the PortTalk kernel driver, which performs each port access
// the library asks for, and the driver's installation and start.
#pragma once

#if defined(_WIN32)

#include "porttalk/PortTalkProtocol.h"
#include "portio/PortBackend.h"

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
    std::uint8_t In8(std::uint16_t port) override;
    std::uint16_t In16(std::uint16_t port) override;
    std::uint32_t In32(std::uint32_t port) override;
    void Out8(std::uint16_t port, std::uint8_t value) override;
    void Out16(std::uint16_t port, std::uint16_t value) override;
    void Out32(std::uint32_t port, std::uint32_t value) override;
    void SleepMs(unsigned ms) override;
    unsigned long FailedAccesses() const override { return m_failed; }

private:
    void Send(DWORD code, unsigned char* buffer, DWORD inSize, DWORD outSize, const char* what);

    unsigned long m_failed = 0;
};

} // namespace bypass

#endif
