// Which way the Linux build reaches the ports: the PortTalk device
// (/dev/porttalk, served by the porttalk kernel module) when it can be
// opened, else iopl(3).
#pragma once

#include "portio/PortBackend.h"

namespace bypass {

enum class PortPath { None, Device, Iopl };

// The path the platform backend's last successful Open took; None before
// any. It stays after Close, so that a report made after the board was
// released still names it.
PortPath PlatformPortPath();

// "device /dev/porttalk", "iopl" or "none", for identify and status.
const char* PortPathName(PortPath path);

} // namespace bypass
