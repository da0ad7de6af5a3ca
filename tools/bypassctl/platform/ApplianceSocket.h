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

// Why a socket cannot be served or used; the command that asked decides
// what that means for its exit.
struct ApplianceSocketError {
    enum class Kind {
        Unusable, // the path cannot be a socket here, or the system has none
        Busy,     // another appliance serves the path
        Silent,   // no appliance answers at the path
    };
    Kind kind;
    std::string message;
};

// Serves service on a Unix socket at path, mode 0600, until SIGINT or
// SIGTERM, then removes the socket. ready runs once the socket listens.
// Throws ApplianceSocketError: Busy when another appliance answers at path,
// Unusable when path is something else or cannot be made (and on Windows).
void ServeApplianceSocket(
    const std::string& path, ApplianceService& service, const std::function<void()>& ready);

// Makes the library use the appliance at path, after asking it for its
// board. Throws ApplianceSocketError: Silent when it does not answer
// (Unusable on Windows).
void ConnectAppliance(const std::string& path);

} // namespace bypassctl
