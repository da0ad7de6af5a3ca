// One bypassctl at a time on the board. A Super I/O configuration sequence
// selects a logical device and then writes its registers through the same
// two ports: two processes interleaving theirs would write one device's
// values into the other's. Each board operation therefore runs under a
// system-wide lock: a lock file in /run/bypassctl (root's alone) on Linux,
// the named mutex "Global\bypassctl-board" on Windows. The holder writes its
// process id into the file "bypassctl.lock" (Windows: in %ProgramData%), so
// that a process that waited in vain can name it. A lock file that is not
// safely this user's (a link, a FIFO, another user's file or directory) is
// refused, never skipped.
//
// Simulated boards use a lock of their own, in BYPASSCTL_LOCK_DIR or else a
// directory of the user's own, which needs no privilege and never meets a
// real board's lock.
//
// keepalive also leaves its process id in "bypassctl-keepalive.pid" in the
// same directory while it runs, for the other watchdog commands to warn
// that it will re-arm.
#pragma once

#include "platform/SystemLock.h"

#include <string>

namespace bypassctl {

class BoardLock {
public:
    explicit BoardLock(bool simulated);
    ~BoardLock();
    BoardLock(const BoardLock&) = delete;
    BoardLock& operator=(const BoardLock&) = delete;

    // Takes the lock, waiting up to two seconds for its holder. Answers 0
    // when taken, otherwise the holder's process id (-1 when unknown).
    long Acquire();
    void Release();
    // Where the holder's process id is kept, for messages.
    const std::string& Path() const { return m_path; }
    // Why the lock cannot be had safely; empty when it can.
    const std::string& Problem() const { return m_lock.Problem(); }

    // Leaves this process's id for the others while the lock object lives.
    // Answers why it could not, empty when it did.
    std::string AdvertiseKeepalive();
    // The process id of a running keepalive other than this process; 0 for none.
    long RunningKeepalive() const;

    // Releases the lock on every path out of a board operation.
    class Held {
    public:
        explicit Held(BoardLock& lock)
            : m_lock(lock)
        {
        }
        ~Held() { m_lock.Release(); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

    private:
        BoardLock& m_lock;
    };

private:
    void WithdrawKeepalive();

    std::string m_dir;
    std::string m_path;
    bool m_advertised = false;
    SystemLock m_lock;
};

} // namespace bypassctl
