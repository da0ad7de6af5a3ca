// The client of the PortTalk kernel driver, which performs each port access
// the library asks for, and the driver's installation and start.
#pragma once

#if defined(_WIN32)

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

// Device I/O control codes of the driver, one per access.
enum PortTalkIoctl : DWORD {
    kIoctlReadPortUchar = 0x9C402410,
    kIoctlWritePortUchar = 0x9C402414,
    kIoctlReadPortUlong = 0x9C402418,
    kIoctlWritePortUlong = 0x9C40241C,
    kIoctlReadPortUshort = 0x9C402424,
    kIoctlWritePortUshort = 0x9C402428,
};

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
};

} // namespace bypass

#endif
