// The exported catalogue as hosts read it: the bytes of every row, the
// lookup by type, and the identification of the board by its product name.
#include "framework/BaseboardQuery.h"
#include "framework/BypassInfo.h"
#include "platform/TextConv.h"
#include "support/TraceFiles.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// The rows a host reads, in order: type, product, description and label
// (UTF-8, as people read them), extra1, extra2; tab-separated.
std::vector<std::vector<std::string>> ExpectedRows()
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(bypass::test::ReadText(BYPASS_TEST_DIR "/framework/catalogue.txt"));
    for (std::string line; std::getline(lines, line);)
        if (line[0] != '#') {
            std::istringstream fields(line);
            rows.emplace_back();
            for (std::string field; std::getline(fields, field, '\t');)
                rows.back().push_back(field);
        }
    return rows;
}

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
    const auto expected = ExpectedRows();
    ASSERT_EQ(expected.size(), std::size_t(BYPASS_INFO_ROWS));
    for (int i = 0; i < BYPASS_INFO_ROWS; ++i) {
        const bypass_info& row = g_bypass_info_array[i];
        const std::vector<std::string>& want = expected[i];
        const std::vector<std::string> got
            = {std::to_string(row.type), TextOf(row.board_name), TextOf(row.description),
                TextOf(row.model_label), std::to_string(row.extra1), std::to_string(row.extra2)};
        EXPECT_EQ(got, want) << "row " << i;
        // A host that lowers the count shortens only the search by name.
        g_bypass_info_count = 3;
        EXPECT_EQ(find_bypass_info(row.type), &row);
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
