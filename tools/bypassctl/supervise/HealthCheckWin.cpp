#include "supervise/CheckRun.h"

#include "platform/WideText.h"

#include <windows.h>

#include <tlhelp32.h>

#include <memory>
#include <vector>

namespace bypassctl {
namespace {

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

CheckVerdict CannotRun(DWORD error) { return Failed("cannot run: error " + std::to_string(error)); }

// The only handles the shell inherits: its input and output, not every
// inheritable handle keepalive holds.
class InheritedHandles {
public:
    explicit InheritedHandles(HANDLE* handles, std::size_t count)
    {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_buffer.resize(size);
        m_list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_buffer.data());
        m_ready = InitializeProcThreadAttributeList(m_list, 1, 0, &size)
            && UpdateProcThreadAttribute(m_list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                count * sizeof(HANDLE), nullptr, nullptr);
    }
    ~InheritedHandles()
    {
        if (m_ready)
            DeleteProcThreadAttributeList(m_list);
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST List() const { return m_ready ? m_list : nullptr; }

private:
    std::vector<char> m_buffer;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
    bool m_ready = false;
};

// cmd.exe of the system directory, not the first one on the search path;
// /d skips the AutoRun commands a user may have registered, and with /s
// the command between the outer quotes runs exactly as written.
bool CreateShell(const std::string& command, STARTUPINFOEXW& startup, PROCESS_INFORMATION& child)
{
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring shell = std::wstring(system, length) + L"\\cmd.exe";
    std::wstring line = L"cmd.exe /d /s /c \"" + Widen(command) + L"\"";
    return CreateProcessW(shell.c_str(), line.data(), nullptr, nullptr, TRUE,
        CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
        &startup.StartupInfo, &child);
}

// The shell reads nothing, writes into output, and has no console window.
// It starts suspended and runs once it is in the job, so that its end can
// end whatever it starts. (Where the job cannot take it, the shell alone is
// ended.)
DWORD StartShell(const std::string& command, HANDLE output, HANDLE job, HANDLE& process)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
        &inheritable, OPEN_EXISTING, 0, nullptr);
    HANDLE handles[] = {input, output};
    const InheritedHandles inherited(handles, input != INVALID_HANDLE_VALUE ? 2 : 1);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input;
    startup.StartupInfo.hStdOutput = output;
    startup.StartupInfo.hStdError = output;
    startup.lpAttributeList = inherited.List();
    PROCESS_INFORMATION child{};
    const bool created = startup.lpAttributeList && CreateShell(command, startup, child);
    const DWORD error = created ? ERROR_SUCCESS : GetLastError();
    if (input != INVALID_HANDLE_VALUE)
        CloseHandle(input);
    if (!created)
        return error;
    AssignProcessToJobObject(job, child.hProcess);
    ResumeThread(child.hThread);
    CloseHandle(child.hThread);
    process = child.hProcess;
    return ERROR_SUCCESS;
}

void ReadAvailable(HANDLE pipe, FirstLine& output)
{
    char buffer[kReadSize];
    DWORD available = 0, got = 0;
    for (int reads = 0; reads < kReadsPerLook
         && PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0;
         ++reads) {
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr))
            return;
        output.Add(buffer, got);
    }
}

// Collects the output while the shell runs; false when the deadline comes
// first. The shell's own end is what counts: what it left running may hold
// the pipe open for longer.
bool AwaitEnd(HANDLE process, HANDLE pipe, Clock::time_point deadline, FirstLine& output)
{
    while (WaitForSingleObject(process, static_cast<DWORD>(SliceUntil(deadline).count()))
        == WAIT_TIMEOUT) {
        ReadAvailable(pipe, output);
        if (Clock::now() >= deadline)
            return false;
    }
    ReadAvailable(pipe, output);
    return true;
}

void KillTree(HANDLE job, HANDLE process)
{
    constexpr UINT kKilled = 1;
    constexpr DWORD kEndMs = 1000;
    TerminateJobObject(job, kKilled);
    TerminateProcess(process, kKilled);
    WaitForSingleObject(process, kEndMs);
}

CheckVerdict EndVerdict(DWORD code, const FirstLine& output)
{
    // cmd's status for a command it cannot find.
    constexpr DWORD kNotFound = 9009;
    // A crash ends a process with its exception code (0xC0000005 and the
    // like), which reads best in hex.
    constexpr DWORD kExceptionCodes = 0xC0000000;
    if (code == kNotFound)
        return Failed("not found");
    if (code >= kExceptionCodes) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
        return ExitedWith(hex, output);
    }
    return code == 0 ? Healthy() : ExitedWith(std::to_string(code), output);
}

} // namespace

CheckVerdict RunShell(const std::string& command, std::chrono::milliseconds timeout)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return CannotRun(GetLastError());
    const Handle pipe(readEnd, CloseHandle);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    const Handle job(CreateJobObjectW(nullptr, nullptr), CloseHandle);
    HANDLE started = nullptr;
    const DWORD error = StartShell(command, writeEnd, job.get(), started);
    CloseHandle(writeEnd);
    if (error != ERROR_SUCCESS)
        return CannotRun(error);
    const Handle process(started, CloseHandle);
    FirstLine output;
    const bool ended = AwaitEnd(process.get(), readEnd, Clock::now() + timeout, output);
    // Passing or not, nothing the check started outlives it.
    KillTree(job.get(), process.get());
    if (!ended)
        return TimedOut(timeout);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code))
        return CannotRun(GetLastError());
    return EndVerdict(code, output);
}

namespace {

class ProcessImage : public HealthCheck {
public:
    explicit ProcessImage(std::string image)
        : m_image(std::move(image))
    {
    }

    std::string Name() const override { return "process " + m_image; }

    CheckVerdict Run(std::chrono::milliseconds /*timeout*/) override
    {
        const HANDLE taken = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (taken == INVALID_HANDLE_VALUE)
            return Failed("cannot list processes: error " + std::to_string(GetLastError()));
        const Handle snapshot(taken, CloseHandle);
        const std::wstring wanted = Widen(m_image);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(taken, &entry); more; more = Process32NextW(taken, &entry))
            if (CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL)
                return Healthy();
        return Failed("no process " + m_image + " is running");
    }

private:
    std::string m_image;
};

} // namespace

void AddImageNameChecks(
    std::vector<std::unique_ptr<HealthCheck>>& checks, const std::vector<std::string>& images)
{
    for (const std::string& image : images)
        checks.push_back(std::make_unique<ProcessImage>(image));
}

} // namespace bypassctl
