// The board lock against scripted namespace and mutex calls: each refusal
// is a lock that cannot be taken, with a problem naming what failed, never a
// lock silently skipped; the mutex
// lives in the administrators' namespace where there is one, and under the
// global name where the system has none (Wine 8).
#include "platform/LockApiWin.h"
#include "platform/Process.h"
#include "platform/SystemLock.h"

#include <gtest/gtest.h>

#include <map>

namespace bypassctl {
namespace {

std::map<std::string, DWORD> g_fails; // call name -> its last error
std::string g_mutexName;

bool Fails(const char* call)
{
    const auto error = g_fails.find(call);
    if (error != g_fails.end())
        SetLastError(error->second);
    return error != g_fails.end();
}

const auto kObject = reinterpret_cast<HANDLE>(0x20);

const LockApi kFake = {
    [](LPCWSTR, ULONG) { return Fails("Boundary") ? HANDLE(nullptr) : kObject; },
    [](HANDLE*, PSID) { return BOOL(!Fails("AddSid")); },
    [](LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR) {
        return Fails("CreateNamespace") ? HANDLE(nullptr) : kObject;
    },
    [](LPVOID, LPCWSTR) { return Fails("OpenNamespace") ? HANDLE(nullptr) : kObject; },
    [](LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR name) {
        g_mutexName = std::string(name, name + wcslen(name));
        return Fails("Mutex") ? HANDLE(nullptr) : CreateMutexW(nullptr, FALSE, nullptr);
    },
    [](HANDLE) {},
    [](HANDLE, ULONG) { return BOOLEAN(TRUE); },
};

TEST(BoardLock, IsHadSafelyOrIsAnError)
{
    struct Row {
        std::map<std::string, DWORD> fails;
        std::string problem; // empty: the lock is taken
        std::string mutex;
    };
    const Row rows[] = {
        {{}, "", "bypassctl\\board"},
        {{{"CreateNamespace", ERROR_ALREADY_EXISTS}}, "", "bypassctl\\board"},
        {{{"Boundary", ERROR_CALL_NOT_IMPLEMENTED}}, "", "Global\\bypassctl-board"},
        {{{"AddSid", ERROR_ACCESS_DENIED}}, "by the Administrators group (error 5)", ""},
        // not an administrator
        {{{"CreateNamespace", ERROR_ACCESS_DENIED}}, "namespace (error 5)", ""},
        {{{"CreateNamespace", ERROR_ALREADY_EXISTS}, {"OpenNamespace", ERROR_ACCESS_DENIED}},
            "namespace (error 5)", ""},
        // the global name taken first by someone who denies us
        {{{"Boundary", ERROR_CALL_NOT_IMPLEMENTED}, {"Mutex", ERROR_ACCESS_DENIED}},
            "the mutex board (error 5)", "Global\\bypassctl-board"},
    };
    const std::string pidFile = std::string(std::getenv("TEMP")) + "\\bypassctl-lock-test";
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        g_fails = row.fails;
        g_mutexName.clear();
        {
            const bypass::ScopedCalls<LockApi> fake(kFake);
            SystemLock lock(pidFile, "board", false);
            EXPECT_EQ(lock.Take(std::chrono::milliseconds(0)), row.problem.empty() ? 0 : -1);
            lock.Release();
            EXPECT_EQ(lock.Problem().empty(), row.problem.empty()) << lock.Problem();
            EXPECT_NE(lock.Problem().find(row.problem), std::string::npos) << lock.Problem();
        }
        EXPECT_EQ(g_mutexName, row.mutex);
    }
    std::remove(pidFile.c_str());
}

// A service's environment may name another folder (Wine's service manager
// gives C:\users\Public): the service and a console bypassctl must still
// meet at one lock and one keepalive file.
TEST(BoardLock, SystemDirectoryIsTheProgramDataFolderWhateverTheEnvironment)
{
    const std::string saved = std::getenv("ProgramData");
    _putenv_s("ProgramData", "C:\\users\\Public");
    EXPECT_EQ(SystemLockDirectory(), "C:\\ProgramData");
    _putenv_s("ProgramData", saved.c_str());
}

} // namespace
} // namespace bypassctl
