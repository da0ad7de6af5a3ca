// Text conversions for the terminal.
#pragma once

#include <string>

namespace bypassctl {

// The catalogue's GBK (code page 936) bytes as UTF-8. Bytes that are not
// valid GBK come out as '?', so a damaged row still prints.
std::string GbkToUtf8(const std::string& gbk);

// Columns the UTF-8 text takes on a terminal: CJK characters take two.
std::size_t DisplayWidth(const std::string& utf8);

} // namespace bypassctl
