#include "support/Gbk.h"

#include <stdexcept>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace bypass::test {

#if defined(_WIN32)
std::string Utf8ToGbk(const std::string& utf8)
{
    const int units
        = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    const int bytes = WideCharToMultiByte(936, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string gbk(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(936, 0, wide.data(), units, gbk.data(), bytes, nullptr, nullptr);
    return gbk;
}
#else
std::string Utf8ToGbk(const std::string& utf8)
{
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("no GBK converter");
    std::string in = utf8;
    std::vector<char> out(in.size() * 2 + 4);
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1))
        throw std::runtime_error("not convertible to GBK: " + utf8);
    return std::string(out.data(), outPtr);
}
#endif

} // namespace bypass::test
