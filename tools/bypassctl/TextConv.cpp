#include "TextConv.h"

#include <cstddef>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace bypassctl {

#if defined(_WIN32)

std::string GbkToUtf8(const std::string& gbk)
{
    if (gbk.empty())
        return {};
    constexpr UINT kGbk = 936;
    const int inLength = static_cast<int>(gbk.size());
    const int wideLength = MultiByteToWideChar(kGbk, 0, gbk.data(), inLength, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(kGbk, 0, gbk.data(), inLength, wide.data(), wideLength);
    const int utf8Length
        = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    WideCharToMultiByte(
        CP_UTF8, 0, wide.data(), wideLength, utf8.data(), utf8Length, nullptr, nullptr);
    return utf8;
}

#else

std::string GbkToUtf8(const std::string& gbk)
{
    iconv_t converter = iconv_open("UTF-8", "GBK");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return gbk;
    std::string utf8;
    char* in = const_cast<char*>(gbk.data());
    std::size_t inLeft = gbk.size();
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
        utf8.append(buffer, static_cast<std::size_t>(out - buffer));
        // An invalid or cut-off sequence: show one '?' and go on after it.
        if (done == static_cast<std::size_t>(-1) && outLeft == sizeof buffer) {
            utf8 += '?';
            ++in;
            --inLeft;
        }
    }
    iconv_close(converter);
    return utf8;
}

#endif

std::size_t DisplayWidth(const std::string& utf8)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        // Three-byte sequences from U+1100 up are the wide CJK range here.
        width += length >= 3 ? 2 : 1;
        i += length;
    }
    return width;
}

} // namespace bypassctl
