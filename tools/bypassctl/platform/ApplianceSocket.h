// The virtual appliance's transport, which depends on the system: a Unix
// socket on Linux; Windows has none.
#pragma once

#include "driver/PortTalkCore.h"

#include <functional>
#include <string>

namespace bypassctl {

// What the socket serves: a board that lives in real time and answers
// requests of the driver protocol.
class ApplianceService {
public:
    virtual ~ApplianceService() = default;
    // Called at least every 50 ms, requests or not: the board's time passes.
    virtual void Tick() = 0;
    // One request from the connection that holds handle. buffer holds inSize
    // bytes and has room for outSize; answers the outcome
    // (PORTTALK_OUTCOME_*) and the bytes answered.
    virtual unsigned long Answer(PortTalkHandle& handle, unsigned long code, unsigned char* buffer,
        unsigned long inSize, unsigned long outSize, unsigned long& answered)
        = 0;
};

// Serves service on a Unix socket at path, mode 0600, until SIGINT or
// SIGTERM, then removes the socket. ready runs once the socket listens.
// Ends with exit 6 when another appliance answers at path, exit 2 when path
// is something else or cannot be made (and on Windows).
void ServeApplianceSocket(
    const std::string& path, ApplianceService& service, const std::function<void()>& ready);

// Makes the library use the appliance at path, after asking it for its
// board: exit 3 when it does not answer (exit 2 on Windows).
void ConnectAppliance(const std::string& path);

} // namespace bypassctl
