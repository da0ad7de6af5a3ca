// The catalogue's text in the form programs print.
#pragma once

namespace bypass {

// The UTF-8 form of a Chinese text of the catalogue as the library ships it
// (GBK bytes), or null for any other text.
const char* CatalogueTextUtf8(const char* gbk);

} // namespace bypass
