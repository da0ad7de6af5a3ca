// Windows: UTF-8 (or another code page's) text as the UTF-16 of the wide
// Win32 calls, and back to UTF-8.
#pragma once

#include <string>

namespace bypassctl {

// codePage 65001 is CP_UTF8.
std::wstring Widen(const std::string& text, unsigned codePage = 65001);
std::string Narrow(const std::wstring& text);

} // namespace bypassctl
