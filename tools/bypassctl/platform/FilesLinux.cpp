#include "platform/Files.h"

namespace bypassctl {

std::FILE* OpenFile(const std::string& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}

} // namespace bypassctl
