// Text conversions for the terminal.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace bypassctl {

// The program's arguments after its name, as UTF-8. Windows hands main()
// its arguments in the ANSI code page, where characters it lacks become '?'
// and fullwidth digits and dashes quietly turn into ASCII ones ("best
// fit"): the arguments are taken from the wide command line instead.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The catalogue's GBK (code page 936) bytes as UTF-8: the catalogue's own
// text from the UTF-8 form it carries, so that it prints on a system
// without a GBK converter; other bytes as ConvertGbk gives them.
std::string GbkToUtf8(const std::string& gbk);

// GBK bytes through the system's converter (iconv, or code page 936 on
// Windows). Bytes that are not valid GBK come out as '?', so a damaged row
// still prints; without a converter the bytes come out as they are.
std::string ConvertGbk(const std::string& gbk);

// Columns the UTF-8 text takes on a terminal: CJK characters take two.
std::size_t DisplayWidth(const std::string& utf8);

// While alive, stream's UTF-8 text reaches a console as characters: on
// Windows, when the process's standard output (or, with error set, its
// standard error) is a console, the text goes through the console's
// wide-character interface, since the console would show UTF-8 bytes in
// its own code page. Redirected output, and every stream elsewhere, stays
// byte for byte.
class ConsoleText {
public:
    ConsoleText(std::ostream& stream, bool error);
    ~ConsoleText();
    ConsoleText(const ConsoleText&) = delete;
    ConsoleText& operator=(const ConsoleText&) = delete;

private:
    std::ostream& m_stream;
    std::unique_ptr<std::streambuf> m_console;
    std::streambuf* m_previous = nullptr;
};

} // namespace bypassctl
