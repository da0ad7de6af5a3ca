#include "framework/BypassInfo.h"

#include "framework/BaseboardQuery.h"
#include "framework/CatalogueText.h"

#include <cstddef>
#include <cstring>
#include <string>

static_assert(sizeof(bypass_info) == 204, "catalogue rows are 204 bytes");
static_assert(offsetof(bypass_info, type) == 0, "type at 0");
static_assert(offsetof(bypass_info, board_name) == 4, "board_name at 4");
static_assert(offsetof(bypass_info, description) == 68, "description at 68");
static_assert(offsetof(bypass_info, model_label) == 132, "model_label at 132");
static_assert(offsetof(bypass_info, extra1) == 196, "extra1 at 196");
static_assert(offsetof(bypass_info, extra2) == 200, "extra2 at 200");

// Chinese text is written as GBK bytes; "" splits a literal where the next
// character would otherwise extend a \x escape.
#define PLATFORM "\xC6\xBD\xCC\xA8"
#define MSI "(\xCE\xA2\xD0\xC7)"
#define NEXCOM "(\xD0\xC2\xBA\xBA)"
#define LANXUS "(\xC1\xAA\xD6\xC7\xCD\xA8\xB4\xEF)"
#define LIHUA "(\xC1\xA2\xBB\xAA)"
#define AUTO_SELECT                                                                                \
    "\xD6\xC7\xC4\xDC\xD1\xA1\xD4\xF1"                                                             \
    "BYPASS"
#define NO_BYPASS                                                                                  \
    "\xC3\xBB\xD3\xD0"                                                                             \
    "BYPASS"

extern "C" {

BYPASSTOOL_API bypass_info g_bypass_info_array[BYPASS_INFO_ROWS] = {
    {-1, "BY_MAINBOARD", AUTO_SELECT, AUTO_SELECT, 8, 0},
    {0, "NULL", NO_BYPASS, NO_BYPASS, 1, 0},
    {1, "i845GV-W83627HF", "1045" PLATFORM, "A1", 1, 1},
    {2, "", "Q35" PLATFORM, "Q35", 2, 2},
    {3, "MS-9641", "945GM-MS" MSI PLATFORM, "A2/A3", 2, 2},
    {4, "nexcom-1130", "D525-NEXCOM" NEXCOM PLATFORM, "B2", 2, 1},
    {5, "MS-96C4", "945GC-MS" MSI PLATFORM, "A4", 1, 1},
    {6, "MS-96E3", "G41-MS" MSI PLATFORM, "B3/B4", 2, 2},
    {7, "NSA3110", "G41-NEXCOM" NEXCOM PLATFORM, "A5", 3, 3},
    {8, "Eaglelake", "G41-NEXCOM2" NEXCOM PLATFORM, "A6", 2, 2},
    {9, "MS-S0391", "H61-MS" MSI PLATFORM, "C1", 2, 2},
    {10, "LX-H61NS", "H61-LANXUS" LANXUS PLATFORM, "C2", 2, 2},
    {11, "LX-BI224", "D525-LANXUS" LANXUS PLATFORM, "C3", 2, 1},
    {5003, "", "G41-LS" LIHUA PLATFORM, "G41-LS", 2, 2},
    {5002, "MS-96D9", "D525-MS" MSI PLATFORM, "B1", 2, 1},
    {5001, "Luna Pier CRB", "D525-LW" LIHUA PLATFORM, "D525-LW", 2, 2},
};

BYPASSTOOL_API int g_bypass_info_count = BYPASS_INFO_ROWS;

BYPASSTOOL_API bypass_info* find_bypass_info(int type)
{
    // Always the whole table: a host that lowers the count shortens only the
    // search by product name.
    for (bypass_info& row : g_bypass_info_array) {
        if (row.type == type)
            return &row;
    }
    return nullptr;
}

BYPASSTOOL_API int GetHostBypassType(void)
{
    const std::string product = bypass::ReadBaseboardProduct();
    if (product.empty())
        return -1;
    for (int i = 0; i < g_bypass_info_count && i < BYPASS_INFO_ROWS; ++i) {
        const bypass_info& row = g_bypass_info_array[i];
        if (row.board_name[0] != '\0' && product == row.board_name)
            return row.type;
    }
    return -1;
}

} // extern "C"

namespace bypass {
namespace {

// The catalogue's Chinese text and its UTF-8 form, which programs print: a
// system may have no GBK converter (appliance images often strip glibc's
// gconv modules). Text without Chinese is the same in both.
struct TextForms {
    const char* gbk;
    const char* utf8;
};
constexpr TextForms kUtf8Forms[] = {
    {AUTO_SELECT, "智能选择BYPASS"},
    {NO_BYPASS, "没有BYPASS"},
    {"1045" PLATFORM, "1045平台"},
    {"Q35" PLATFORM, "Q35平台"},
    {"945GM-MS" MSI PLATFORM, "945GM-MS(微星)平台"},
    {"D525-NEXCOM" NEXCOM PLATFORM, "D525-NEXCOM(新汉)平台"},
    {"945GC-MS" MSI PLATFORM, "945GC-MS(微星)平台"},
    {"G41-MS" MSI PLATFORM, "G41-MS(微星)平台"},
    {"G41-NEXCOM" NEXCOM PLATFORM, "G41-NEXCOM(新汉)平台"},
    {"G41-NEXCOM2" NEXCOM PLATFORM, "G41-NEXCOM2(新汉)平台"},
    {"H61-MS" MSI PLATFORM, "H61-MS(微星)平台"},
    {"H61-LANXUS" LANXUS PLATFORM, "H61-LANXUS(联智通达)平台"},
    {"D525-LANXUS" LANXUS PLATFORM, "D525-LANXUS(联智通达)平台"},
    {"G41-LS" LIHUA PLATFORM, "G41-LS(立华)平台"},
    {"D525-MS" MSI PLATFORM, "D525-MS(微星)平台"},
    {"D525-LW" LIHUA PLATFORM, "D525-LW(立华)平台"},
};

} // namespace

const char* CatalogueTextUtf8(const char* gbk)
{
    for (const TextForms& text : kUtf8Forms) {
        if (std::strcmp(text.gbk, gbk) == 0)
            return text.utf8;
    }
    return nullptr;
}

} // namespace bypass
