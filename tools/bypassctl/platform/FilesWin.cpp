#include "platform/Files.h"
#include "platform/WideText.h"

namespace bypassctl {

std::FILE* OpenFile(const std::string& path, const char* mode)
{
    return _wfopen(Widen(path).c_str(), Widen(mode).c_str());
}

} // namespace bypassctl
