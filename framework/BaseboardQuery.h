// The mainboard product name by which the library recognises its board.
#pragma once

#include <string>

#if defined(_WIN32)
#include <oaidl.h>
#endif

namespace bypass {

// The product name as the current source reports it; empty on failure.
std::string ReadBaseboardProduct();

// A replaceable source of the product name, so that tests and simulators
// can play any board. SetProductNameSource(nullptr) restores the platform's
// own; the previous source is answered.
using ProductNameSource = std::string (*)();
ProductNameSource SetProductNameSource(ProductNameSource source);

// The platform's own source: WMI Win32_BaseBoard.Product on Windows, the
// DMI board name from sysfs on Linux.
std::string PlatformBaseboardProduct();

#if defined(_WIN32)
// One self-contained WMI query (COM initialised and uninitialised inside) of
// a property of the first-to-last instance of a class in root\cimv2. Answers
// the last instance's value as 8-bit text, empty when anything fails.
std::string QueryWmiProperty(const char* className, const char* propertyName);

// The 8-bit text of a property value: of a string, the low byte of each
// UTF-16 unit up to the first zero (no code-page conversion); "NULL" for a
// null value; empty for anything else.
std::string VariantText(const VARIANT& value);
#else
// The content of a sysfs text file without its trailing newline; empty when
// the file cannot be read.
std::string ReadSysfsText(const char* path);
#endif

} // namespace bypass
