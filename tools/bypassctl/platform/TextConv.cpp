#include "platform/TextConv.h"

#include "framework/CatalogueText.h"

namespace bypassctl {

std::string GbkToUtf8(const std::string& gbk)
{
    const char* carried = bypass::CatalogueTextUtf8(gbk.c_str());
    return carried ? carried : ConvertGbk(gbk);
}

ConsoleText::~ConsoleText()
{
    if (!m_previous)
        return;
    m_stream.flush();
    m_stream.rdbuf(m_previous);
}

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
