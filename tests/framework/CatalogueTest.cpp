// The exported catalogue as hosts read it: the bytes of every row, the
// lookup by type, and the identification of the board by its product name.
#include "platform/TextConv.h"
#include "framework/BaseboardQuery.h"
#include "framework/BypassInfo.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Row {
    int type;
    const char* product;
    const char* description; // UTF-8, as people read it
    const char* label;
    int extra1;
    int extra2;
};

const Row kExpected[BYPASS_INFO_ROWS] = {
    {-1, "BY_MAINBOARD", "智能选择BYPASS", "智能选择BYPASS", 8, 0},
    {0, "NULL", "没有BYPASS", "没有BYPASS", 1, 0},
    {1, "i845GV-W83627HF", "1045平台", "A1", 1, 1},
    {2, "", "Q35平台", "Q35", 2, 2},
    {3, "MS-9641", "945GM-MS(微星)平台", "A2/A3", 2, 2},
    {4, "nexcom-1130", "D525-NEXCOM(新汉)平台", "B2", 2, 1},
    {5, "MS-96C4", "945GC-MS(微星)平台", "A4", 1, 1},
    {6, "MS-96E3", "G41-MS(微星)平台", "B3/B4", 2, 2},
    {7, "NSA3110", "G41-NEXCOM(新汉)平台", "A5", 3, 3},
    {8, "Eaglelake", "G41-NEXCOM2(新汉)平台", "A6", 2, 2},
    {9, "MS-S0391", "H61-MS(微星)平台", "C1", 2, 2},
    {10, "LX-H61NS", "H61-LANXUS(联智通达)平台", "C2", 2, 2},
    {11, "LX-BI224", "D525-LANXUS(联智通达)平台", "C3", 2, 1},
    {5003, "", "G41-LS(立华)平台", "G41-LS", 2, 2},
    {5002, "MS-96D9", "D525-MS(微星)平台", "B1", 2, 1},
    {5001, "Luna Pier CRB", "D525-LW(立华)平台", "D525-LW", 2, 2},
};

// The text of a field as UTF-8; the bytes after the text must all be zero,
// and the UTF-8 form the catalogue carries must be what a GBK converter
// makes of the bytes.
std::string TextOf(const char (&field)[64])
{
    const std::string bytes(field, sizeof field);
    const std::size_t end = bytes.find('\0');
    EXPECT_EQ(bytes.find_first_not_of('\0', end), std::string::npos)
        << "bytes after " << bytes.substr(0, end);
    const std::string text = bypassctl::GbkToUtf8(bytes.substr(0, end));
    EXPECT_EQ(text, bypassctl::ConvertGbk(bytes.substr(0, end)));
    return text;
}

TEST(Catalogue, HoldsItsRowsWithGbkTextAndZeroPadding)
{
    EXPECT_EQ(g_bypass_info_count, BYPASS_INFO_ROWS);
    for (int i = 0; i < BYPASS_INFO_ROWS; ++i) {
        const bypass_info& row = g_bypass_info_array[i];
        const Row& want = kExpected[i];
        EXPECT_EQ(row.type, want.type) << "row " << i;
        EXPECT_EQ(TextOf(row.board_name), want.product) << "row " << i;
        EXPECT_EQ(TextOf(row.description), want.description) << "row " << i;
        EXPECT_EQ(TextOf(row.model_label), want.label) << "row " << i;
        EXPECT_EQ(row.extra1, want.extra1) << "row " << i;
        EXPECT_EQ(row.extra2, want.extra2) << "row " << i;
        // A host that lowers the count shortens only the search by name.
        g_bypass_info_count = 3;
        EXPECT_EQ(find_bypass_info(want.type), &row);
        g_bypass_info_count = BYPASS_INFO_ROWS;
    }
    // GBK, not UTF-8: "平台" is C6BD CCA8.
    EXPECT_STREQ(g_bypass_info_array[2].description, "1045\xC6\xBD\xCC\xA8");
    for (int unknown : {12, -2, 100, 5000, 5004})
        EXPECT_EQ(find_bypass_info(unknown), nullptr) << unknown;
}

std::string g_product;
std::string ScriptedProduct() { return g_product; }

// Whole, case-sensitive names of the first g_bypass_info_count rows; rows
// without a name never match, and the host's count may exceed the table.
TEST(Catalogue, IdentifiesTheHostAmongTheRowsTheHostCounts)
{
    constexpr int kAll = BYPASS_INFO_ROWS;
    const struct {
        int count;
        const char* product;
        int type;
    } kCases[] = {
        {kAll, "MS-96E3", 6},
        {kAll, "Luna Pier CRB", 5001},
        {kAll, "MS-96D9", 5002},
        {kAll, "ms-96e3", -1},
        {kAll, "MS-96E3 ", -1},
        {kAll, "MS-96E", -1},
        {kAll, "", -1},
        {kAll, "NULL", 0},
        {7, "MS-96E3", -1},
        {8, "MS-96E3", 6},
        {0, "NULL", -1},
        {100, "none", -1},
    };
    const bypass::ProductNameSource previous = bypass::SetProductNameSource(ScriptedProduct);
    for (const auto& c : kCases) {
        g_bypass_info_count = c.count;
        g_product = c.product;
        EXPECT_EQ(GetHostBypassType(), c.type) << c.count << " rows, " << c.product;
    }
    g_bypass_info_count = BYPASS_INFO_ROWS;
    bypass::SetProductNameSource(previous);
}

} // namespace
