#include "framework/BaseboardQuery.h"
#include "portio/Win32Api.h"

#include <comdef.h>
#include <wbemcli.h>

#include <vector>

namespace bypass {
namespace {

// The administrative WMI locator and its interface.
const CLSID kClsidWbemAdministrativeLocator
    = {0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};
const IID kIidWbemLocator
    = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

constexpr DWORD kClsctxServer = 5; // in-process or local server
constexpr LONG kReturnImmediately = 0x10;
constexpr ULONG kInfinite = 0xFFFFFFFF;
constexpr VARTYPE kVtArrayOfEmpty = 0x2000;

// UTF-16 of 8-bit text in the thread's ANSI code page.
std::vector<OLECHAR> Widen(const char* text)
{
    const Win32Api& api = Win32();
    const int units = api.MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::vector<OLECHAR> wide(units > 0 ? units : 1, 0);
    if (units > 0)
        api.MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
    return wide;
}

// A system string the query cannot do without: out of memory leaves the
// query as an exception carrying E_OUTOFMEMORY.
BSTR AllocRequired(const std::vector<OLECHAR>& text)
{
    BSTR string = Win32().SysAllocString(text.data());
    if (!string)
        throw _com_error(E_OUTOFMEMORY);
    return string;
}

void Release(IUnknown* object)
{
    if (object)
        object->Release();
}

// Each UTF-16 unit up to the first zero contributes its low byte.
std::string LowBytes(BSTR text)
{
    std::string bytes;
    for (const OLECHAR* unit = text; unit && *unit; ++unit)
        bytes += static_cast<char>(*unit & 0xFF);
    return bytes;
}

std::string PropertyText(IWbemClassObject* object, const char* propertyName)
{
    const Win32Api& api = Win32();
    VARIANT value;
    api.VariantInit(&value);
    BSTR name = AllocRequired(Widen(propertyName));
    std::string text;
    if (SUCCEEDED(object->Get(name, 0, &value, nullptr, nullptr)))
        text = VariantText(value);
    api.SysFreeString(name);
    api.VariantClear(&value);
    return text;
}

} // namespace

std::string VariantText(const VARIANT& value)
{
    if (value.vt == VT_BSTR)
        return LowBytes(value.bstrVal);
    if (value.vt == VT_NULL)
        return "NULL";
    if (value.vt == kVtArrayOfEmpty) {
        // An array has no text; its elements are read and dropped.
        const Win32Api& api = Win32();
        LONG lower = 0;
        LONG upper = -1;
        api.SafeArrayGetLBound(value.parray, 1, &lower);
        api.SafeArrayGetUBound(value.parray, 1, &upper);
        for (LONG index = lower; index <= upper; ++index) {
            VARIANT element; // large enough for any element kind
            api.SafeArrayGetElement(value.parray, &index, &element);
        }
    }
    return {};
}

std::string QueryWmiProperty(const char* className, const char* propertyName)
{
    const Win32Api& api = Win32();
    std::string result;
    // Anything but plain success, including "already initialised on this
    // thread", ends the query without uninitialising.
    if (api.CoInitialize(nullptr) != S_OK)
        return result;
    if (FAILED(api.CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
            RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, 0, nullptr))) {
        api.CoUninitialize();
        return result;
    }
    IWbemLocator* locator = nullptr;
    if (FAILED(api.CoCreateInstance(kClsidWbemAdministrativeLocator, nullptr, kClsctxServer,
            kIidWbemLocator, reinterpret_cast<void**>(&locator)))) {
        Release(locator);
        api.CoUninitialize();
        return result;
    }
    IWbemServices* services = nullptr;
    BSTR space = api.SysAllocString(L"root\\cimv2");
    const HRESULT connected
        = locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
    api.SysFreeString(space);
    if (FAILED(connected)) {
        Release(services);
        Release(locator);
        api.CoUninitialize();
        return result;
    }

    std::vector<OLECHAR> queryText = Widen("Select * from ");
    queryText.pop_back();
    const std::vector<OLECHAR> wideClass = Widen(className);
    queryText.insert(queryText.end(), wideClass.begin(), wideClass.end());
    BSTR query = AllocRequired(queryText);
    BSTR language = api.SysAllocString(L"WQL");

    IEnumWbemClassObject* enumerator = nullptr;
    IWbemClassObject* object = nullptr;
    if (SUCCEEDED(services->ExecQuery(language, query, kReturnImmediately, nullptr, &enumerator))
        && SUCCEEDED(enumerator->Reset())) {
        ULONG returned = 0;
        // Several instances: the last one's value wins.
        while (enumerator->Next(kInfinite, 1, &object, &returned) == 0) {
            result = PropertyText(object, propertyName);
            object->Release();
            object = nullptr;
        }
    }
    Release(object);
    api.SysFreeString(language);
    api.SysFreeString(query);
    Release(enumerator);
    Release(services);
    Release(locator);
    api.CoUninitialize();
    return result;
}

std::string PlatformBaseboardProduct() { return QueryWmiProperty("Win32_BaseBoard", "Product"); }

} // namespace bypass
