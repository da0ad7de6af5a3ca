// A board command's run against its board. Every call into the board's tool
// that can touch the hardware (init, each operation, fini) passes through
// one place here, so that what surrounds a board operation is written once.
#pragma once

#include "board/BoardChoice.h"
#include "board/BoardLock.h"
#include "cli/Command.h"

#include "framework/BypassTool.h"
#include "portio/TraceBackend.h"

#include <functional>
#include <memory>
#include <string>

namespace bypassctl {

// One operation of the board's tool, named as the library names it.
struct BoardOperation {
    const char* name;
    std::function<int(CBypassTool&)> call;
};

// Ends the command with exit 5 when result is the board's failure (< 0).
void CheckResult(int result, const char* operation);

class BoardSession {
public:
    // Chooses the board and says which it is and which tool serves it. No
    // port is touched yet.
    explicit BoardSession(Context& context);
    // Tears the tool down as the library's manager does: fini, then the
    // object, and only then are the ports taken away.
    ~BoardSession();
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    int Type() const { return m_type; }
    // The board's tool, made on first use. Until its first operation it is
    // not started and answers only what needs no hardware.
    CBypassTool& Tool();
    // Ends the command with exit 4 where the tool drives no watchdog; warns
    // of what else drives it (a kernel driver, a running keepalive).
    void RequireWatchdog();
    // Lets the other bypassctl processes know that this one re-arms the
    // watchdog until it ends.
    void AdvertiseKeepalive();

    // Runs one operation and answers its result. The first one starts the
    // tool (exit 3 where the ports cannot be opened). Each waits for the
    // board lock (exit 6 when another process keeps it).
    int Call(const BoardOperation& operation);
    // Runs a call that only reads the board. The ports are opened as init
    // opens them, but the tool's own init does not run: on some boards it
    // stops the watchdog. Exit 3 where the ports cannot be opened.
    int Look(const std::function<int()>& call);
    // Runs the command's operation: its result is reported, and a failure
    // ends the command after showing what it left the board in: exit 3 when
    // a port access failed, exit 5 when the board answered a failure.
    // anyway says what the hardware got where the board's tool answers -1
    // after writing its whole sequence.
    void Run(const BoardOperation& operation, const std::string& anyway = "");
    // What the simulated hardware holds now, which a real board cannot be
    // asked for.
    void ReportState();
    // How the ports are reached ("device /dev/porttalk", "iopl", a
    // simulated board, an appliance's socket).
    std::string PortPath() const;
    // The simulated board, null on a real one.
    BoardSimulator* Simulator() const { return m_board.simulator.get(); }
    // Keeps a long keepalive from collecting its traffic forever.
    void ForgetTraffic() { m_ports.ClearTrace(); }

private:
    void Start();
    void RequirePorts();
    int OnBoard(const std::function<int()>& call);
    // The accesses of this session that the port backend could not perform.
    unsigned long FailedAccesses() const;
    void RequireAllAccessesDone(const char* operation);

    Context& m_context;
    Board m_board;
    int m_type;
    // Always seen through a recorder: it shows the traffic with --trace and
    // tells whether the driver opened.
    bypass::TraceBackend m_ports;
    bypass::PortBackend* m_previous = nullptr;
    unsigned long m_failedBefore;
    BoardLock m_lock;
    std::unique_ptr<CBypassTool> m_tool;
    bool m_started = false;
};

} // namespace bypassctl
