#include "platform/ConsoleApi.h"
#include "platform/TextConv.h"
#include "platform/WideText.h"

#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <streambuf>

namespace bypassctl {

std::string ConvertGbk(const std::string& gbk)
{
    constexpr unsigned kGbk = 936;
    return Narrow(Widen(gbk, kGbk));
}

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i)
        args.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

namespace {

const ConsoleApi kRealConsole = {GetConsoleMode, WriteConsoleW};
bypass::CallTable<ConsoleApi> g_console(kRealConsole);

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
        const std::wstring wide = Widen(m_pending.substr(0, static_cast<std::size_t>(whole)));
        DWORD written = 0;
        bypass::Calls<ConsoleApi>().writeConsoleW(
            m_console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        m_pending.erase(0, static_cast<std::size_t>(whole));
    }

    HANDLE m_console;
    std::string m_pending;
};

} // namespace

ConsoleText::ConsoleText(std::ostream& stream, bool error)
    : m_stream(stream)
{
    HANDLE handle = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // GetConsoleMode succeeds only on a console: a file or pipe keeps its bytes.
    if (handle == INVALID_HANDLE_VALUE
        || !bypass::Calls<ConsoleApi>().getConsoleMode(handle, &mode))
        return;
    stream.flush();
    m_console = std::make_unique<ConsoleBuffer>(handle);
    m_previous = stream.rdbuf(m_console.get());
}

std::wstring Widen(const std::string& text, unsigned codePage)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), size);
    return wide;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size
        = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

} // namespace bypassctl

template <> bypass::CallTable<bypassctl::ConsoleApi>& bypass::CallTableOf<bypassctl::ConsoleApi>()
{
    return bypassctl::g_console;
}
