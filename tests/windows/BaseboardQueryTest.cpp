#include "framework/BaseboardQuery.h"
#include "framework/BypassToolManager.h"
#include "windows/FakeWin32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// What Windows' own wmic reports as the baseboard product. It writes
// UTF-16 to a pipe; product names are plain ASCII.
std::string WmicProduct()
{
    FILE* pipe = _popen("wmic baseboard get product", "rb");
    if (!pipe)
        return {};
    std::string bytes;
    char chunk[256];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        bytes.append(chunk, n);
    _pclose(pipe);
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) // after the byte-order mark
        text += bytes[i];
    // "Product" header line, then the value padded with blanks.
    const std::size_t start = text.find('\n');
    const std::size_t end = text.find('\r', start + 1);
    if (start == std::string::npos || end == std::string::npos)
        return {};
    std::string value = text.substr(start + 1, end - start - 1);
    value.erase(value.find_last_not_of(' ') + 1);
    return value;
}

TEST(Wmi, AnswersWhatWmicAnswersQueryAfterQuery)
{
    const std::string wmic = WmicProduct();
    ASSERT_FALSE(wmic.empty());
    EXPECT_EQ(bypass::QueryWmiProperty("Win32_BaseBoard", "Product"), wmic);
    // Each query initialises and uninitialises COM itself.
    EXPECT_EQ(bypass::QueryWmiProperty("Win32_BaseBoard", "Product"), wmic);
    std::string name;
    EXPECT_EQ(CBypassToolManager::GetProductNameFromMainBoard(name), 1);
    EXPECT_EQ(name, wmic);
    EXPECT_EQ(bypass::QueryWmiProperty("Win32_NoSuchClass", "Product"), "");
}

TEST(Wmi, AThreadThatAlreadyInitialisedComGetsNoProduct)
{
    std::thread host([] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        std::string name = "old";
        EXPECT_EQ(CBypassToolManager::GetProductNameFromMainBoard(name), 0);
        EXPECT_EQ(name, "");
        CBypassToolManager manager;
        CBypassTool* tool = manager.CreateBypassTool(-1);
        EXPECT_EQ(tool->GetBypassType(), 0);
        EXPECT_EQ(typeid(*tool), typeid(CNULLBypassTool));
        CoUninitialize();
    });
    host.join();
}

// COM calls answered from a script, noting what was called.
std::string g_calls;
HRESULT g_initialize = S_OK;
HRESULT g_security = S_OK;
HRESULT g_create = S_OK;

HRESULT WINAPI ScriptedCoInitialize(LPVOID)
{
    g_calls += "init ";
    return g_initialize;
}
HRESULT WINAPI ScriptedCoInitializeSecurity(PSECURITY_DESCRIPTOR, LONG services,
    SOLE_AUTHENTICATION_SERVICE*, void*, DWORD level, DWORD impersonation, void*,
    DWORD capabilities, void*)
{
    g_calls += "security(" + std::to_string(services) + "," + std::to_string(level) + ","
        + std::to_string(impersonation) + "," + std::to_string(capabilities) + ") ";
    return g_security;
}
HRESULT WINAPI ScriptedCoCreateInstance(REFCLSID, LPUNKNOWN, DWORD context, REFIID, LPVOID* object)
{
    g_calls += "create(" + std::to_string(context) + ") ";
    *object = nullptr;
    return g_create;
}
void WINAPI ScriptedCoUninitialize() { g_calls += "uninit "; }

std::string QueryWith(HRESULT initialize, HRESULT security, HRESULT create)
{
    bypass::Win32Api api = bypass::RealWin32Api();
    api.CoInitialize = ScriptedCoInitialize;
    api.CoInitializeSecurity = ScriptedCoInitializeSecurity;
    api.CoCreateInstance = ScriptedCoCreateInstance;
    api.CoUninitialize = ScriptedCoUninitialize;
    g_calls.clear();
    g_initialize = initialize;
    g_security = security;
    g_create = create;
    const bypass::Win32Api* previous = bypass::SetWin32Api(&api);
    const std::string product = bypass::QueryWmiProperty("Win32_BaseBoard", "Product");
    bypass::SetWin32Api(previous);
    return product;
}

TEST(Wmi, EachFailingStepEndsTheQueryEmptyAndUndoesOnlyWhatItDid)
{
    // Already initialised (S_FALSE) or refused: nothing to uninitialise.
    EXPECT_EQ(QueryWith(S_FALSE, S_OK, S_OK), "");
    EXPECT_EQ(g_calls, "init ");
    EXPECT_EQ(QueryWith(RPC_E_CHANGED_MODE, S_OK, S_OK), "");
    EXPECT_EQ(g_calls, "init ");
    EXPECT_EQ(QueryWith(S_OK, E_ACCESSDENIED, S_OK), "");
    EXPECT_EQ(g_calls, "init security(-1,4,3,0) uninit ");
    EXPECT_EQ(QueryWith(S_OK, S_OK, REGDB_E_CLASSNOTREG), "");
    EXPECT_EQ(g_calls, "init security(-1,4,3,0) create(5) uninit ");
}

int g_elementsRead = 0;
HRESULT WINAPI CountedSafeArrayGetElement(SAFEARRAY* array, LONG* index, void* element)
{
    ++g_elementsRead;
    return SafeArrayGetElement(array, index, element);
}

TEST(Wmi, PropertyValuesBecomeEightBitTextWithoutCodePageConversion)
{
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(L"MS\u4E2D9\u0141E3\0tail", 12);
    EXPECT_EQ(bypass::VariantText(value), "MS-9AE3"); // low bytes, up to the first zero
    SysFreeString(value.bstrVal);

    value.vt = VT_NULL;
    EXPECT_EQ(bypass::VariantText(value), "NULL");
    value.vt = VT_I4;
    value.lVal = 42;
    EXPECT_EQ(bypass::VariantText(value), "");

    bypass::Win32Api api = bypass::RealWin32Api();
    api.SafeArrayGetElement = CountedSafeArrayGetElement;
    const bypass::Win32Api* previous = bypass::SetWin32Api(&api);
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 2, 3);
    value.vt = VT_ARRAY; // exactly an array of no declared element kind
    value.parray = array;
    EXPECT_EQ(bypass::VariantText(value), "");
    EXPECT_EQ(g_elementsRead, 3); // each element from lower to upper bound
    value.vt = VT_ARRAY | VT_I4;
    EXPECT_EQ(bypass::VariantText(value), "");
    EXPECT_EQ(g_elementsRead, 3);
    bypass::SetWin32Api(previous);
    SafeArrayDestroy(array);
}

// Run by wmi-board-check.sh with the board name Wine reports set to
// BYPASS_TEST_PRODUCT: the library must find it through WMI and serve it
// with the tool of BYPASS_TEST_TYPE.
TEST(DmiBoard, IdentifiesTheBoardWineReports)
{
    const char* product = std::getenv("BYPASS_TEST_PRODUCT");
    const char* type = std::getenv("BYPASS_TEST_TYPE");
    if (!product || !type)
        GTEST_SKIP() << "run by wmi-board-check.sh";
    std::string name;
    EXPECT_EQ(CBypassToolManager::GetProductNameFromMainBoard(name), 1);
    const int expected = std::atoi(type);
    EXPECT_EQ(GetHostBypassType(), expected);
    CBypassToolManager manager;
    EXPECT_EQ(manager.CreateBypassTool(-1)->GetBypassType(), expected < 0 ? 0 : expected);
}

} // namespace
