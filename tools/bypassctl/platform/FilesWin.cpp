#include "platform/Files.h"
#include "platform/WideText.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace bypassctl {

std::FILE* OpenFile(const std::string& path, const char* mode)
{
    return _wfopen(Widen(path).c_str(), Widen(mode).c_str());
}

// A pid file is a line; more than a few dozen bytes is not one.
bool ReadPidText(const std::string& path, std::string& text)
{
    std::FILE* file = OpenFile(path, "rb");
    if (!file)
        return false;
    char buffer[64];
    const std::size_t length = std::fread(buffer, 1, sizeof buffer, file);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    errno = error;
    text.assign(buffer, length);
    return !failed;
}

std::string WriteOwnFile(const std::string& path, const std::string& text)
{
    return std::ofstream(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc) << text
        ? ""
        : "cannot write " + path;
}

std::string WriteFileAtomically(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(std::filesystem::u8path(temporary), std::ios::binary | std::ios::trunc);
        if (!(file << text << '\n').flush())
            return "cannot write " + temporary;
    }
    std::error_code error;
    std::filesystem::rename(
        std::filesystem::u8path(temporary), std::filesystem::u8path(path), error);
    return error ? "cannot rename " + temporary + ": " + error.message() : "";
}

} // namespace bypassctl
