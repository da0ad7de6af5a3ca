// A virtual appliance as the library's hardware (Linux). When the variable
// BYPASSTOOL_APPLIANCE names the Unix socket of one (`bypassctl appliance`),
// the library sends its port accesses there as requests of the driver
// protocol and asks it for the board's product name, instead of the real
// ports and DMI: a host program runs against it unchanged. A missing or dead
// appliance fails as missing port access does; the library never falls back
// to the real ports.
#pragma once

#include "portio/PortBackend.h"

#include <string>

namespace bypass {

constexpr const char* kApplianceVariable = "BYPASSTOOL_APPLIANCE";

// The socket the library uses instead of the ports: the one UseAppliance
// named, else BYPASSTOOL_APPLIANCE's; null when neither names one.
const char* AppliancePath();

// Makes the library use the appliance at path from now on.
void UseAppliance(const std::string& path);

// The product name the appliance's board reports. False when the appliance
// does not answer, with the reason in why.
bool QueryApplianceProduct(const std::string& path, std::string& product, std::string& why);

// The port backend on the socket of AppliancePath().
PortBackend& AppliancePortBackend();

} // namespace bypass
