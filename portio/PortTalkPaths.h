// Where the PortTalk driver is found: its device, its service, and its file,
// shipped beside the host program and installed into the system's drivers
// directory. The library's first use and bypassctl's driver command share
// these names.
#pragma once

#include <string>

namespace bypass::porttalk {

constexpr char kDevicePath[] = "\\\\.\\PortTalk";
constexpr char kServiceName[] = "PortTalk";
constexpr char kDriverFile[] = "PortTalk.sys";
// What the service's ImagePath names, relative to the system root.
constexpr char kRelativeImagePath[] = "System32\\Drivers\\PortTalk.sys";

// The driver's file in the folder of the program at programPath (either
// separator counts, the later one).
inline std::string DriverBeside(std::string programPath)
{
    const std::string::size_type cut = programPath.find_last_of("\\/");
    programPath.erase(cut == std::string::npos ? 0 : cut + 1);
    return programPath + kDriverFile;
}

} // namespace bypass::porttalk
