#include "windows/FakeWin32.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <utility>

namespace bypass::test {
namespace {

FakeWin32* g_fake = nullptr;

HANDLE const kDevice = reinterpret_cast<HANDLE>(0x1234);
HANDLE const kTimer = reinterpret_cast<HANDLE>(0x7100);
HANDLE const kFile = reinterpret_cast<HANDLE>(0xF11E);
SC_HANDLE const kManager = reinterpret_cast<SC_HANDLE>(0x5C0);
SC_HANDLE const kService = reinterpret_cast<SC_HANDLE>(0x5E0);

std::string Hex(unsigned long long value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%llX", value);
    return text;
}

std::string Text(LPCSTR text) { return text ? text : "(null)"; }
// The paths of these tests are ASCII.
std::string Text(LPCWSTR text) { return text ? std::string(text, text + wcslen(text)) : "(null)"; }

// text into a wide buffer as the Win32 calls copy: the length copied, or
// the size needed when the buffer is too small.
DWORD CopyWide(const std::string& text, LPWSTR buffer, DWORD size)
{
    if (text.size() >= size)
        return static_cast<DWORD>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = L'\0';
    return static_cast<DWORD>(text.size());
}

std::string Name(const void* handle)
{
    return handle == kService ? "svc"
        : handle == kManager  ? "scm"
        : handle == kTimer    ? "timer"
        : handle == kFile     ? "file"
                              : Hex(reinterpret_cast<ULONG_PTR>(handle));
}

// Notes the call (its name and arguments) and answers what is scripted for
// it, which is also the thread's last error when it is not 0.
DWORD Scripted(std::initializer_list<std::string> call)
{
    for (const std::string& word : call)
        g_fake->calls += (&word == call.begin() ? "" : " ") + word;
    g_fake->calls += "\n";
    auto found = g_fake->script.find(*call.begin());
    if (found == g_fake->script.end() || found->second.empty())
        return 0;
    const DWORD answer = found->second.front();
    if (found->second.size() > 1)
        found->second.pop_front();
    if (answer)
        g_fake->lastError = answer;
    return answer;
}

std::string N(unsigned long long value) { return std::to_string(value); }

// The entries are captureless lambdas: on x64 there is one calling
// convention, so they convert to the table's WINAPI pointers.
Win32Api ScriptedTable()
{
    Win32Api t = CallTableOf<Win32Api>().Real();
    t.CreateFileA = [](LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                        DWORD disposition, DWORD flags, HANDLE templ) {
        return Scripted({"CreateFileA", Text(name), Hex(access), Hex(share), security ? "sa" : "-",
                   Hex(disposition), Hex(flags), templ ? "template" : "-"})
            ? INVALID_HANDLE_VALUE
            : kDevice;
    };
    t.DeviceIoControl = [](HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
        return BOOL(!Scripted({"DeviceIoControl"}));
    };
    t.CloseHandle = [](HANDLE handle) { return BOOL(!Scripted({"CloseHandle", Name(handle)})); };
    t.GetLastError = []() { return g_fake->lastError; };
    t.OpenSCManagerA = [](LPCSTR machine, LPCSTR database, DWORD access) {
        return Scripted({"OpenSCManagerA", Text(machine), Text(database), Hex(access)}) ? nullptr
                                                                                        : kManager;
    };
    t.OpenServiceA = [](SC_HANDLE manager, LPCSTR name, DWORD access) {
        return Scripted({"OpenServiceA", Name(manager), Text(name), Hex(access)}) ? nullptr
                                                                                  : kService;
    };
    t.StartServiceA = [](SC_HANDLE service, DWORD count, LPCSTR* args) {
        return BOOL(!Scripted({"StartServiceA", Name(service), N(count), args ? "args" : "null"}));
    };
    t.CreateServiceA = [](SC_HANDLE manager, LPCSTR name, LPCSTR display, DWORD access, DWORD type,
                           DWORD start, DWORD errorControl, LPCSTR binary, LPCSTR group,
                           LPDWORD tag, LPCSTR dependencies, LPCSTR account, LPCSTR password) {
        return Scripted({"CreateServiceA", Name(manager), Text(name), Text(display), Hex(access),
                   Hex(type), Hex(start), Hex(errorControl), Text(binary), Text(group),
                   tag ? "tag" : "-", Text(dependencies), Text(account), Text(password)})
            ? nullptr
            : kService;
    };
    t.CloseServiceHandle = [](SC_HANDLE handle) {
        return BOOL(!Scripted({"CloseServiceHandle", Name(handle)}));
    };
    // The length copied, or the size needed when the buffer is too small.
    t.GetSystemDirectoryA = [](LPSTR buffer, UINT size) {
        const std::string& directory = g_fake->systemDirectory;
        Scripted({"GetSystemDirectoryA", N(size)});
        std::snprintf(buffer, size, "%s", directory.c_str());
        return UINT(directory.size() < size ? directory.size() : directory.size() + 1);
    };
    t.GetModuleFileNameA = [](HMODULE module, LPSTR buffer, DWORD size) {
        Scripted({"GetModuleFileNameA", module ? "module" : "exe", N(size)});
        std::snprintf(buffer, size, "%s", g_fake->moduleFileName.c_str());
        return static_cast<DWORD>(g_fake->moduleFileName.size());
    };
    t.CopyFileA = [](LPCSTR from, LPCSTR to, BOOL failIfExists) {
        return BOOL(!Scripted({"CopyFileA", Text(from), Text(to), N(failIfExists)}));
    };
    t.CreateFileW = [](LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                        DWORD disposition, DWORD, HANDLE) {
        return Scripted({"CreateFileW", Text(name), Hex(access), Hex(share), Hex(disposition)})
            ? INVALID_HANDLE_VALUE
            : kFile;
    };
    // Files are empty: reads and writes move no byte.
    t.GetFileSizeEx = [](HANDLE file, PLARGE_INTEGER size) {
        size->QuadPart = 0;
        return BOOL(!Scripted({"GetFileSizeEx", Name(file)}));
    };
    t.ReadFile = [](HANDLE file, LPVOID, DWORD size, LPDWORD read, LPOVERLAPPED) {
        *read = 0;
        return BOOL(!Scripted({"ReadFile", Name(file), N(size)}));
    };
    t.WriteFile = [](HANDLE file, LPCVOID, DWORD size, LPDWORD written, LPOVERLAPPED) {
        *written = size;
        return BOOL(!Scripted({"WriteFile", Name(file), N(size)}));
    };
    t.FlushFileBuffers = [](HANDLE file) {
        return BOOL(!Scripted({"FlushFileBuffers", Name(file)}));
    };
    t.SetLastError = [](DWORD error) { g_fake->lastError = error; };
    t.GetFileAttributesW = [](LPCWSTR path) {
        return Scripted({"GetFileAttributesW", Text(path)}) ? INVALID_FILE_ATTRIBUTES
                                                            : FILE_ATTRIBUTE_NORMAL;
    };
    t.DeleteFileW = [](LPCWSTR path) { return BOOL(!Scripted({"DeleteFileW", Text(path)})); };
    t.GetModuleFileNameW = [](HMODULE module, LPWSTR buffer, DWORD size) {
        Scripted({"GetModuleFileNameW", module ? "module" : "exe", N(size)});
        return CopyWide(g_fake->moduleFileName, buffer, size);
    };
    t.GetSystemWindowsDirectoryW = [](LPWSTR buffer, UINT size) {
        Scripted({"GetSystemWindowsDirectoryW", N(size)});
        return UINT(CopyWide(g_fake->windowsDirectory, buffer, size));
    };
    // No variables to expand: the text and its terminator.
    t.ExpandEnvironmentStringsW = [](LPCWSTR text, LPWSTR buffer, DWORD size) {
        Scripted({"ExpandEnvironmentStringsW", Text(text)});
        return CopyWide(Text(text), buffer, size) + 1;
    };
    t.CreateServiceW = [](SC_HANDLE manager, LPCWSTR name, LPCWSTR, DWORD, DWORD type, DWORD start,
                           DWORD, LPCWSTR binary, LPCWSTR, LPDWORD, LPCWSTR, LPCWSTR, LPCWSTR) {
        return Scripted({"CreateServiceW", Name(manager), Text(name), Hex(type), Hex(start),
                   Text(binary)})
            ? nullptr
            : kService;
    };
    t.ChangeServiceConfigW = [](SC_HANDLE service, DWORD, DWORD, DWORD, LPCWSTR binary, LPCWSTR,
                                 LPDWORD, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR) {
        return BOOL(!Scripted({"ChangeServiceConfigW", Name(service), Text(binary)}));
    };
    t.QueryServiceConfigW = [](SC_HANDLE service, LPQUERY_SERVICE_CONFIGW, DWORD, LPDWORD needed) {
        *needed = 0;
        return BOOL(!Scripted({"QueryServiceConfigW", Name(service)}));
    };
    t.QueryServiceStatus = [](SC_HANDLE service, LPSERVICE_STATUS status) {
        status->dwCurrentState = SERVICE_RUNNING;
        return BOOL(!Scripted({"QueryServiceStatus", Name(service)}));
    };
    t.ControlService = [](SC_HANDLE service, DWORD control, LPSERVICE_STATUS) {
        return BOOL(!Scripted({"ControlService", Name(service), N(control)}));
    };
    t.DeleteService = [](SC_HANDLE service) {
        return BOOL(!Scripted({"DeleteService", Name(service)}));
    };
    t.CoInitialize = [](LPVOID) { return HRESULT(Scripted({"CoInitialize"})); };
    t.CoInitializeSecurity
        = [](PSECURITY_DESCRIPTOR, LONG services, SOLE_AUTHENTICATION_SERVICE*, void*, DWORD level,
              DWORD impersonation, void*, DWORD capabilities, void*) {
              return HRESULT(Scripted({"CoInitializeSecurity", std::to_string(services), N(level),
                  N(impersonation), N(capabilities)}));
          };
    t.CoCreateInstance = [](REFCLSID, LPUNKNOWN, DWORD context, REFIID, LPVOID* object) {
        *object = nullptr;
        return HRESULT(Scripted({"CoCreateInstance", N(context)}));
    };
    t.CoUninitialize = []() { Scripted({"CoUninitialize"}); };
    t.CreateWaitableTimerExW = [](LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD flags, DWORD access) {
        return Scripted({"CreateWaitableTimerExW", Hex(flags), Hex(access)}) ? nullptr : kTimer;
    };
    t.SetWaitableTimer = [](HANDLE timer, const LARGE_INTEGER* due, LONG period, PTIMERAPCROUTINE,
                             LPVOID, BOOL resume) {
        g_fake->timerDue = -due->QuadPart;
        return BOOL(!Scripted({"SetWaitableTimer", Name(timer), std::to_string(due->QuadPart),
            std::to_string(period), N(resume)}));
    };
    t.WaitForSingleObject = [](HANDLE handle, DWORD timeout) {
        g_fake->clock += g_fake->timerDue;
        return Scripted({"WaitForSingleObject", Name(handle), Hex(timeout)}); // WAIT_OBJECT_0
    };
    t.Sleep = [](DWORD ms) {
        g_fake->clock += static_cast<LONGLONG>(ms) * 10000;
        Scripted({"Sleep", N(ms)});
    };
    t.QueryPerformanceCounter = [](LARGE_INTEGER* now) {
        now->QuadPart = g_fake->clock;
        g_fake->clock += 100; // each reading takes 10 us
        return TRUE;
    };
    t.QueryPerformanceFrequency = [](LARGE_INTEGER* hz) {
        hz->QuadPart = 10000000;
        return TRUE;
    };
    return t;
}

} // namespace

FakeWin32::FakeWin32(Script script)
    : script(std::move(script))
    , m_table(ScriptedTable())
    , m_installed(m_table)
{
    g_fake = this;
}

FakeWin32::~FakeWin32() { g_fake = nullptr; }

} // namespace bypass::test
