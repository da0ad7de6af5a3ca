#include "platform/Files.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace bypassctl {

long ParsePid(const std::string& text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    constexpr std::size_t kMaxDigits = 10;
    if (begin == end || end - begin > kMaxDigits)
        return -1;
    long long pid = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return -1;
        pid = pid * 10 + (text[i] - '0');
    }
    return pid > 0 && pid <= INT_MAX ? static_cast<long>(pid) : -1;
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

long ReadPid(const std::string& path)
{
    std::string text;
    return ReadPidText(path, text) ? ParsePid(text) : -1;
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
