#include "platform/ApplianceSocket.h"

namespace bypassctl {
namespace {

const char kNotHere[] = "the virtual appliance is not available on Windows: it serves a Unix "
                        "socket; run it on Linux";

} // namespace

void ServeApplianceSocket(const std::string&, ApplianceService&, const std::function<void()>&)
{
    throw ApplianceSocketError{ApplianceSocketError::Kind::Unusable, kNotHere};
}

void ConnectAppliance(const std::string&)
{
    throw ApplianceSocketError{ApplianceSocketError::Kind::Unusable, kNotHere};
}

} // namespace bypassctl
