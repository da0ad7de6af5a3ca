#include "framework/BaseboardQuery.h"
#include "framework/BypassInfo.h"
#include "support/Gbk.h"

#include <gtest/gtest.h>

#include <cstring>
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

const Row kExpected[16] = {
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

// A text field holds the text, a NUL, and zeros to its end.
void ExpectField(const char (&field)[64], const std::string& text, const char* what, int row)
{
    ASSERT_LT(text.size(), 64u) << what << " of row " << row;
    EXPECT_EQ(std::string(field, text.size()), text) << what << " of row " << row;
    for (std::size_t i = text.size(); i < 64; ++i)
        ASSERT_EQ(field[i], 0) << what << " of row " << row << " byte " << i;
}

TEST(Catalogue, HoldsSixteenRowsWithGbkTextAndZeroPadding)
{
    EXPECT_EQ(g_bypass_info_count, 16);
    for (int i = 0; i < 16; ++i) {
        const bypass_info& row = g_bypass_info_array[i];
        const Row& want = kExpected[i];
        EXPECT_EQ(row.type, want.type) << "row " << i;
        ExpectField(row.board_name, want.product, "board_name", i);
        ExpectField(row.description, bypass::test::Utf8ToGbk(want.description), "description", i);
        ExpectField(row.model_label, bypass::test::Utf8ToGbk(want.label), "model_label", i);
        EXPECT_EQ(row.extra1, want.extra1) << "row " << i;
        EXPECT_EQ(row.extra2, want.extra2) << "row " << i;
    }
    // GBK, not UTF-8: "平台" is C6BD CCA8.
    EXPECT_STREQ(g_bypass_info_array[2].description, "1045\xC6\xBD\xCC\xA8");
}

TEST(Catalogue, FindBypassInfoScansAllSixteenRowsWhateverTheCount)
{
    EXPECT_EQ(find_bypass_info(-1), &g_bypass_info_array[0]);
    EXPECT_EQ(find_bypass_info(0), &g_bypass_info_array[1]);
    EXPECT_EQ(find_bypass_info(5001), &g_bypass_info_array[15]);
    EXPECT_EQ(find_bypass_info(5003), &g_bypass_info_array[13]);
    for (int unknown : {12, -2, 100, 5000, 5004})
        EXPECT_EQ(find_bypass_info(unknown), nullptr) << unknown;

    const int saved = g_bypass_info_count;
    g_bypass_info_count = 3;
    EXPECT_EQ(find_bypass_info(6), &g_bypass_info_array[7]);
    g_bypass_info_count = saved;
}

std::string g_product;
std::string ScriptedProduct() { return g_product; }

class HostType : public ::testing::Test {
protected:
    void SetUp() override { m_previous = bypass::SetProductNameSource(ScriptedProduct); }
    void TearDown() override
    {
        bypass::SetProductNameSource(m_previous);
        g_bypass_info_count = 16;
    }
    static int TypeOf(const std::string& product)
    {
        g_product = product;
        return GetHostBypassType();
    }

private:
    bypass::ProductNameSource m_previous = nullptr;
};

TEST_F(HostType, MatchesWholeCaseSensitiveProductNames)
{
    EXPECT_EQ(TypeOf("MS-96E3"), 6);
    EXPECT_EQ(TypeOf("Luna Pier CRB"), 5001);
    EXPECT_EQ(TypeOf("MS-96D9"), 5002);
    EXPECT_EQ(TypeOf("ms-96e3"), -1);
    EXPECT_EQ(TypeOf("MS-96E3 "), -1);
    EXPECT_EQ(TypeOf("MS-96E"), -1);
    EXPECT_EQ(TypeOf(""), -1);
    // The two special rows carry names too; rows without a name never match.
    EXPECT_EQ(TypeOf("NULL"), 0);
    EXPECT_EQ(TypeOf("BY_MAINBOARD"), -1);
}

TEST_F(HostType, SearchesOnlyTheRowsTheHostCounts)
{
    g_bypass_info_count = 3;
    EXPECT_EQ(TypeOf("MS-96E3"), -1);
    EXPECT_EQ(TypeOf("i845GV-W83627HF"), 1);
    g_bypass_info_count = 8;
    EXPECT_EQ(TypeOf("MS-96E3"), 6);
    g_bypass_info_count = 0;
    EXPECT_EQ(TypeOf("NULL"), -1);
}

} // namespace
