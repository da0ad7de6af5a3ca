#include "platform/SystemLock.h"

#include "platform/Files.h"
#include "platform/LockApiWin.h"
#include "platform/Process.h"

#include <sddl.h>

#include <fstream>

namespace bypassctl {
namespace {

const LockApi kReal = {::CreateBoundaryDescriptorW, ::AddSIDToBoundaryDescriptor,
    ::CreatePrivateNamespaceW, ::OpenPrivateNamespaceW, ::CreateMutexW, ::DeleteBoundaryDescriptor,
    ::ClosePrivateNamespace};
bypass::CallTable<LockApi> g_calls(kReal);

const LockApi& LockCalls() { return bypass::Calls<LockApi>(); }

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

// Why the lock cannot be had, carried out of the calls that make it.
struct Unsafe {
    std::string why;
};

[[noreturn]] void Refuse(const std::string& what, DWORD error)
{
    throw Unsafe{what + " (error " + std::to_string(error) + ")"};
}

// The namespace "bypassctl" bounded by the Administrators group: only a
// process with that group in its token can create or open it, so no other
// user can create the board's mutex first and hold or deny it.
HANDLE AdminNamespace(HANDLE boundary, AdminsOnly& security)
{
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size)
        || !LockCalls().AddSIDToBoundaryDescriptor(&boundary, admins))
        Refuse("cannot bound the lock's namespace by the Administrators group", GetLastError());
    HANDLE space = LockCalls().CreatePrivateNamespaceW(security.Get(), boundary, L"bypassctl");
    if (!space && GetLastError() == ERROR_ALREADY_EXISTS)
        space = LockCalls().OpenPrivateNamespaceW(boundary, L"bypassctl");
    if (!space)
        Refuse("cannot create or open the lock's namespace", GetLastError());
    return space;
}

// The namespace's boundary, needed only while the namespace is made.
class Boundary {
public:
    Boundary() = default;
    ~Boundary()
    {
        if (m_handle)
            LockCalls().DeleteBoundaryDescriptor(m_handle);
    }
    Boundary(const Boundary&) = delete;
    Boundary& operator=(const Boundary&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle = LockCalls().CreateBoundaryDescriptorW(L"bypassctl", 0);
};

// A system without private namespaces (Wine) has the global name, made
// for SYSTEM and the administrators alone.
HANDLE AdminMutex(HANDLE& space, const std::string& name)
{
    AdminsOnly security;
    {
        const Boundary boundary;
        space = boundary.Get() ? AdminNamespace(boundary.Get(), security) : nullptr;
    }
    const std::wstring wide(name.begin(), name.end());
    const std::wstring full = space ? L"bypassctl\\" + wide : L"Global\\bypassctl-" + wide;
    const HANDLE mutex = LockCalls().CreateMutexW(security.Get(), FALSE, full.c_str());
    if (!mutex)
        Refuse("cannot create or open the mutex " + name, GetLastError());
    return mutex;
}

HANDLE SimulatedMutex(const std::string& name)
{
    const std::wstring full
        = L"Local\\bypassctl-simulated-" + std::wstring(name.begin(), name.end());
    const HANDLE mutex = LockCalls().CreateMutexW(nullptr, FALSE, full.c_str());
    if (!mutex)
        Refuse("cannot create or open the simulated mutex " + name, GetLastError());
    return mutex;
}

} // namespace
} // namespace bypassctl

template <> bypass::CallTable<bypassctl::LockApi>& bypass::CallTableOf<bypassctl::LockApi>()
{
    return bypassctl::g_calls;
}

namespace bypassctl {

// A lock that cannot be had safely is no lock: Take answers -1 and
// Problem() says why.
SystemLock::SystemLock(const std::string& path, const std::string& name, bool simulated)
    : m_path(path)
    , m_handle(0)
{
    HANDLE space = nullptr;
    try {
        m_handle = reinterpret_cast<std::intptr_t>(
            simulated ? SimulatedMutex(name) : AdminMutex(space, name));
    } catch (const Unsafe& unsafe) {
        m_problem = unsafe.why + (simulated ? "" : "; run bypassctl as administrator");
    }
    m_namespace = reinterpret_cast<std::intptr_t>(space);
}

SystemLock::~SystemLock()
{
    if (m_handle)
        CloseHandle(Mutex(m_handle));
    if (m_namespace)
        LockCalls().ClosePrivateNamespace(Mutex(m_namespace), 0);
}

long SystemLock::Take(std::chrono::milliseconds wait)
{
    if (!m_handle)
        return -1;
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

void SystemLock::Release()
{
    if (m_handle)
        ReleaseMutex(Mutex(m_handle));
}

} // namespace bypassctl
