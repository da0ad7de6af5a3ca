#include "platform/SystemLock.h"

#include "cli/Command.h"
#include "platform/Files.h"
#include "platform/LockApiWin.h"
#include "platform/Process.h"

#include <sddl.h>

#include <fstream>

namespace bypassctl {
namespace {

const LockApi kRealLockApi = {::CreateBoundaryDescriptorW, ::AddSIDToBoundaryDescriptor,
    ::CreatePrivateNamespaceW, ::OpenPrivateNamespaceW, ::CreateMutexW, ::DeleteBoundaryDescriptor,
    ::ClosePrivateNamespace};
const LockApi* g_lockApi = &kRealLockApi;

HANDLE Mutex(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// SYSTEM and the Administrators group only: the namespace and the mutex
// in it are theirs alone.
class AdminsOnly {
public:
    AdminsOnly()
    {
        ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)",
            SDDL_REVISION_1, &m_attributes.lpSecurityDescriptor, nullptr);
    }
    ~AdminsOnly() { LocalFree(m_attributes.lpSecurityDescriptor); }
    AdminsOnly(const AdminsOnly&) = delete;
    AdminsOnly& operator=(const AdminsOnly&) = delete;
    LPSECURITY_ATTRIBUTES Get() { return &m_attributes; }

private:
    SECURITY_ATTRIBUTES m_attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

[[noreturn]] void Unsafe(const char* what, DWORD error)
{
    throw CommandError{kExitNoPortAccess,
        std::string("the board lock cannot be had safely: ") + what + " (error "
            + std::to_string(error)
            + "); bypassctl does not drive the board without it: run it as administrator"};
}

// The namespace "bypassctl" bounded by the Administrators group: only a
// process with that group in its token can create or open it, so no other
// user can create the board's mutex first and hold or deny it.
HANDLE AdminNamespace(HANDLE& boundary, AdminsOnly& security)
{
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size)
        || !g_lockApi->AddSIDToBoundaryDescriptor(&boundary, admins))
        Unsafe("cannot bound the lock's namespace by the Administrators group", GetLastError());
    HANDLE space = g_lockApi->CreatePrivateNamespaceW(security.Get(), boundary, L"bypassctl");
    if (!space && GetLastError() == ERROR_ALREADY_EXISTS)
        space = g_lockApi->OpenPrivateNamespaceW(boundary, L"bypassctl");
    if (!space)
        Unsafe("cannot create or open the lock's namespace", GetLastError());
    return space;
}

// A system without private namespaces (Wine) has the global name, made
// for SYSTEM and the administrators alone.
HANDLE AdminMutex(HANDLE& space, const std::string& name)
{
    AdminsOnly security;
    HANDLE boundary = g_lockApi->CreateBoundaryDescriptorW(L"bypassctl", 0);
    space = boundary ? AdminNamespace(boundary, security) : nullptr;
    if (boundary)
        g_lockApi->DeleteBoundaryDescriptor(boundary);
    const std::wstring wide(name.begin(), name.end());
    const std::wstring full = space ? L"bypassctl\\" + wide : L"Global\\bypassctl-" + wide;
    const HANDLE mutex = g_lockApi->CreateMutexW(security.Get(), FALSE, full.c_str());
    if (!mutex)
        Unsafe(("cannot create or open the " + name + "'s mutex").c_str(), GetLastError());
    return mutex;
}

HANDLE SimulatedMutex(const std::string& name)
{
    const std::wstring full
        = L"Local\\bypassctl-simulated-" + std::wstring(name.begin(), name.end());
    const HANDLE mutex = g_lockApi->CreateMutexW(nullptr, FALSE, full.c_str());
    if (!mutex)
        Unsafe(("cannot create or open the simulated " + name + "'s mutex").c_str(), GetLastError());
    return mutex;
}

} // namespace

const LockApi* SetLockApi(const LockApi* api)
{
    const LockApi* previous = g_lockApi;
    g_lockApi = api ? api : &kRealLockApi;
    return previous;
}

SystemLock::SystemLock(const std::string& path, const std::string& name, bool simulated)
    : m_path(path)
{
    HANDLE space = nullptr;
    m_handle = reinterpret_cast<std::intptr_t>(
        simulated ? SimulatedMutex(name) : AdminMutex(space, name));
    m_namespace = reinterpret_cast<std::intptr_t>(space);
}

SystemLock::~SystemLock()
{
    CloseHandle(Mutex(m_handle));
    if (m_namespace)
        g_lockApi->ClosePrivateNamespace(Mutex(m_namespace), 0);
}

long SystemLock::Take(std::chrono::milliseconds wait)
{
    const DWORD waited = WaitForSingleObject(Mutex(m_handle), static_cast<DWORD>(wait.count()));
    // An abandoned mutex was held by a process that ended: it is ours now.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        return Holder();
    std::ofstream(m_path) << OwnPid() << '\n';
    return 0;
}

// The file's last writer may be this process itself, when the holder
// could not write its own id.
long SystemLock::Holder() const
{
    const long written = ReadPid(m_path);
    return written == OwnPid() ? -1 : written;
}

void SystemLock::Release() { ReleaseMutex(Mutex(m_handle)); }

} // namespace bypassctl
