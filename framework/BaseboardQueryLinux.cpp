#include "framework/BaseboardQuery.h"

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

std::string PlatformBaseboardProduct() { return ReadSysfsText("/sys/class/dmi/id/board_name"); }

} // namespace bypass
