// The system-wide lock that keeps a second bypassctl off the board while
// one runs a board operation: the lock file itself on Linux (flock), on
// Windows the mutex "board" in the private namespace "bypassctl" that only
// administrators can open ("Local\bypassctl-simulated-board" for simulated
// boards). A lock that cannot be had safely is an error, never no lock: on
// Windows the constructor throws CommandError (exit 3) then. The holder
// writes its process id into the lock file, so that a process that waited
// in vain can name it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace bypassctl {

class SystemLock {
public:
    SystemLock(const std::string& path, bool simulated);
    ~SystemLock();
    SystemLock(const SystemLock&) = delete;
    SystemLock& operator=(const SystemLock&) = delete;

    // Takes the lock, waiting up to wait for its holder. Answers 0 when
    // taken (or when there is no lock to wait for), otherwise the holder's
    // process id (-1 when unknown).
    long Take(std::chrono::milliseconds wait);
    void Release();

private:
    std::string m_path;
    std::intptr_t m_handle;        // the lock file's descriptor, or the mutex
    std::intptr_t m_namespace = 0; // Windows: the mutex's private namespace
};

} // namespace bypassctl
