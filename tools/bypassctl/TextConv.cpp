#include "TextConv.h"

#include "framework/CatalogueText.h"

#include <cstddef>
#include <cstring>
#include <streambuf>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace bypassctl {

#if defined(_WIN32)

std::string ConvertGbk(const std::string& gbk)
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

namespace {

const ConsoleApi kRealConsole = {GetConsoleMode, WriteConsoleW};
const ConsoleApi* g_console = &kRealConsole;

// The length of text's leading part that ends on a whole UTF-8 sequence: a
// character cut between two writes waits for the rest.
std::size_t WholeSequences(const std::string& text)
{
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) != 0x80) {
            const std::size_t length = byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
            return length > back ? text.size() - back : text.size();
        }
    }
    return text.size();
}

// Collects a line, then writes it to the console as UTF-16.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console)
        : m_console(console)
    {
    }
    ~ConsoleBuffer() override { Write(); }

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        m_pending += traits_type::to_char_type(c);
        if (c == '\n')
            Write();
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        m_pending.append(text, static_cast<std::size_t>(count));
        if (std::memchr(text, '\n', static_cast<std::size_t>(count)))
            Write();
        return count;
    }
    int sync() override
    {
        Write();
        return 0;
    }

private:
    void Write()
    {
        const int whole = static_cast<int>(WholeSequences(m_pending));
        if (whole == 0)
            return;
        const int wideLength = MultiByteToWideChar(CP_UTF8, 0, m_pending.data(), whole, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, m_pending.data(), whole, wide.data(), wideLength);
        DWORD written = 0;
        g_console->writeConsoleW(
            m_console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        m_pending.erase(0, static_cast<std::size_t>(whole));
    }

    HANDLE m_console;
    std::string m_pending;
};

} // namespace

const ConsoleApi* SetConsoleApi(const ConsoleApi* api)
{
    const ConsoleApi* previous = g_console;
    g_console = api ? api : &kRealConsole;
    return previous;
}

ConsoleText::ConsoleText(std::ostream& stream, bool error)
    : m_stream(stream)
{
    HANDLE handle = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // GetConsoleMode succeeds only on a console: a file or pipe keeps its bytes.
    if (handle == INVALID_HANDLE_VALUE || !g_console->getConsoleMode(handle, &mode))
        return;
    stream.flush();
    m_console = std::make_unique<ConsoleBuffer>(handle);
    m_previous = stream.rdbuf(m_console.get());
}

#else

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

#endif

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
