#include "framework/BaseboardQuery.h"
#include "portio/Appliance.h"

#include <cstdio>

#include <fstream>
#include <iterator>

namespace bypass {

std::string ReadSysfsText(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // sysfs ends its values with one newline; blanks are part of the name.
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

// A virtual appliance's board answers for the machine's.
std::string PlatformBaseboardProduct()
{
    const char* appliance = AppliancePath();
    if (!appliance)
        return ReadSysfsText("/sys/class/dmi/id/board_name");
    std::string product, why;
    if (!QueryApplianceProduct(appliance, product, why))
        std::printf("BypassTool: the virtual appliance at %s does not answer (%s)\n", appliance,
            why.c_str());
    return product;
}

} // namespace bypass
