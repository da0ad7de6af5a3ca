// Conversion of UTF-8 text to GBK (code page 936) with the platform's own
// converter, so catalogue bytes can be checked against readable text.
#pragma once

#include <string>

namespace bypass::test {
std::string Utf8ToGbk(const std::string& utf8);
}
