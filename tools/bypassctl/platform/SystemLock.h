// A system-wide lock: the lock file itself on Linux (flock); on Windows the
// mutex NAME in the private namespace "bypassctl" that only administrators
// can open ("Local\bypassctl-simulated-NAME" for simulated boards). The
// system lets it go when its holder ends, however it ends. A lock that
// cannot be had safely is an error, never no lock: Take refuses it and
// Problem() says why, on both systems alike. The holder writes its
// process id into the lock file, so that a process that waited in vain can
// name it. The board lock keeps a second bypassctl off the board while one
// runs a board operation; the keepalive lock makes one keepalive the
// watchdog's owner.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace bypassctl {

class SystemLock {
public:
    SystemLock(const std::string& path, const std::string& name, bool simulated);
    ~SystemLock();
    SystemLock(const SystemLock&) = delete;
    SystemLock& operator=(const SystemLock&) = delete;

    // Takes the lock, waiting up to wait for its holder. Answers 0 when
    // taken, otherwise the holder's process id (-1 when unknown, or when
    // the lock cannot be had: Problem() says why).
    long Take(std::chrono::milliseconds wait);
    void Release();
    // Why the lock cannot be had safely (Linux: its file is a link, a FIFO
    // or another user's; Windows: its namespace or mutex was refused);
    // empty when it can.
    const std::string& Problem() const { return m_problem; }

private:
    long Holder() const;

    std::string m_path;
    std::string m_problem;
    std::intptr_t m_handle;        // the lock file's descriptor, or the mutex
    std::intptr_t m_namespace = 0; // Windows: the mutex's private namespace
};

} // namespace bypassctl
