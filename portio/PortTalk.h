// The client of the PortTalk kernel driver, which performs each port access
// the library asks for, and the driver's installation and start.
#pragma once

#if defined(_WIN32)

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
class PortTalkBackend : public PortTalkClientBackend {
public:
    PortTalkBackend()
        : PortTalkClientBackend(m_device)
    {
    }
    int Open() override;
    void Close() override;
    void SleepMs(unsigned ms) override;

private:
    class DeviceTransport : public PortTalkTransport {
    public:
        bool Send(unsigned long code, unsigned char* buffer, unsigned long inSize,
            unsigned long outSize) override;
        unsigned long LastError() const override;
    };

    DeviceTransport m_device;
};

} // namespace bypass

#endif
