#include "framework/BaseboardQuery.h"
#include "framework/BypassToolManager.h"
#include "windows/FakeWin32.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace bypass::test;

TEST(Wmi, EachFailingStepEndsTheQueryEmptyAndUndoesOnlyWhatItDid)
{
    struct Row {
        const char* name;
        Script script;
        std::string calls;
    };
    const std::string init = "CoInitialize\n";
    const std::string security = init + "CoInitializeSecurity -1 4 3 0\n";
    const Row rows[] = {
        // Initialised before, on this thread: not this query's to undo.
        {"already initialised", {{"CoInitialize", {S_FALSE}}}, init},
        {"other apartment", {{"CoInitialize", {DWORD(RPC_E_CHANGED_MODE)}}}, init},
        {"security refused", {{"CoInitializeSecurity", {DWORD(E_ACCESSDENIED)}}},
            security + "CoUninitialize\n"},
        {"no locator", {{"CoCreateInstance", {DWORD(REGDB_E_CLASSNOTREG)}}},
            security + "CoCreateInstance 5\nCoUninitialize\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeWin32 fake(row.script);
        EXPECT_EQ(bypass::QueryWmiProperty("Win32_BaseBoard", "Product"), "");
        EXPECT_EQ(fake.calls, row.calls);
    }
}

TEST(Wmi, PropertyValuesBecomeEightBitTextWithoutCodePageConversion)
{
    VARIANT values[3];
    values[0].vt = VT_BSTR; // low bytes, up to the first zero
    values[0].bstrVal = SysAllocStringLen(L"MS\u4E2D9\u0141E3\0tail", 12);
    values[1].vt = VT_NULL;
    values[2].vt = VT_ARRAY; // an array of no declared element kind
    values[2].parray = SafeArrayCreateVector(VT_I4, 2, 3);
    const char* texts[] = {"MS-9AE3", "NULL", ""};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(bypass::VariantText(values[i]), texts[i]) << "value " << i;
    SysFreeString(values[0].bstrVal);
    SafeArrayDestroy(values[2].parray);
}

// Run by wmi-board-check.sh with Wine reporting the board BYPASS_TEST_PRODUCT,
// which WMI must answer query after query and BYPASS_TEST_TYPE serve.
TEST(DmiBoard, IdentifiesTheBoardWineReports)
{
    const char* product = std::getenv("BYPASS_TEST_PRODUCT");
    const char* type = std::getenv("BYPASS_TEST_TYPE");
    if (!product || !type)
        GTEST_SKIP() << "run by wmi-board-check.sh";
    std::string name;
    EXPECT_EQ(CBypassToolManager::GetProductNameFromMainBoard(name), 1);
    EXPECT_EQ(name, product);
    const int expected = std::atoi(type);
    EXPECT_EQ(GetHostBypassType(), expected);
    CBypassToolManager manager;
    EXPECT_EQ(manager.CreateBypassTool(-1)->GetBypassType(), expected < 0 ? 0 : expected);
    EXPECT_EQ(bypass::QueryWmiProperty("Win32_NoSuchClass", "Product"), "");
}

} // namespace
