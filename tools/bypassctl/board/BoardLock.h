// One bypassctl at a time on the board. A Super I/O configuration sequence
// selects a logical device and then writes its registers through the same
// two ports: two processes interleaving theirs would write one device's
// values into the other's. Each board operation therefore runs under a
// system-wide lock: a lock file in /run/bypassctl (root's, shared with the
// port group bypassctl, whose user runs the keepalive service) on Linux,
// the named mutex "Global\bypassctl-board" on Windows. The holder writes its
// process id into the file "bypassctl.lock" (Windows: in %ProgramData%), so
// that a process that waited in vain can name it. A lock file that is not
// safely this user's (a link, a FIFO, another user's file or directory) is
// refused, never skipped.
//
// Simulated boards and appliances use a lock of their own, in
// BYPASSCTL_LOCK_DIR or else a directory of the user's own, which needs no
// privilege and never meets a real board's lock.
//
// A running keepalive owns the watchdog: it holds a second lock,
// "bypassctl-keepalive.pid" in the same directory, for as long as it runs,
// with its process id inside. A second keepalive cannot take it; the other
// commands that change the watchdog or the relays read the id and refuse.
// The system drops the lock of a keepalive that dies, and the id it leaves
// counts only while it names a running bypassctl.
#pragma once

#include "platform/SystemLock.h"

#include <memory>
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

    // Makes this process the watchdog's owner while the lock object lives.
    // Answers 0 when it is, otherwise the owner's process id (-1 when
    // unknown, or when the lock cannot be had safely: problem says why).
    long ClaimKeepalive(std::string& problem);
    // The process id of a running keepalive other than this process; 0 for none.
    long RunningKeepalive() const;

    // The count keepalive armed last, kept beside its lock on the boot
    // clock, so that a keepalive started after one that was killed knows
    // whether that count still runs.
    void RecordCount(unsigned long long hardwareMs);
    void ForgetCount();
    // The ms left of the recorded count; 0 when none runs.
    unsigned long long RecordedCountMsLeft() const;

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
    std::string m_dir;
    std::string m_path;
    bool m_simulated;
    SystemLock m_lock;
    std::unique_ptr<SystemLock> m_keepalive;
};

} // namespace bypassctl
