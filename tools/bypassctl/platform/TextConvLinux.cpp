#include "platform/TextConv.h"

#include <iconv.h>

namespace bypassctl {

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

ConsoleText::ConsoleText(std::ostream& stream, bool /*error*/)
    : m_stream(stream)
{
}

std::string ConvertGbk(const std::string& gbk)
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

} // namespace bypassctl
