// The system-wide lock that keeps a second bypassctl off the board while
// one runs a board operation: the lock file itself on Linux (flock), the
// named mutex "Global\bypassctl-board" on Windows
// ("Local\bypassctl-simulated-board" for simulated boards). The holder
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
    // taken, otherwise the holder's process id (-1 when unknown, or when
    // the lock cannot be had: Problem() says why).
    long Take(std::chrono::milliseconds wait);
    void Release();
    // Why the lock cannot be had safely (its file is a link, a FIFO or
    // another user's); empty when it can.
    const std::string& Problem() const { return m_problem; }

private:
    std::string m_path;
    std::string m_problem;
    std::intptr_t m_handle; // the lock file's descriptor, or the mutex
};

} // namespace bypassctl
