#include "platform/Files.h"

#include <cctype>
#include <climits>
#include <filesystem>

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

long ReadPid(const std::string& path)
{
    std::string text;
    return ReadPidText(path, text) ? ParsePid(text) : -1;
}

std::string MissingDirectory(const std::string& path)
{
    std::filesystem::path directory = std::filesystem::u8path(path).parent_path();
    if (directory.empty())
        directory = ".";
    std::error_code error;
    if (std::filesystem::is_directory(directory, error))
        return "";
    const std::u8string text = directory.u8string();
    return "the directory " + std::string(text.begin(), text.end()) + " does not exist";
}

} // namespace bypassctl
