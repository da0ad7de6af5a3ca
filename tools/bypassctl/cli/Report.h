// Everything a command tells its user. In text mode lines go to standard
// output as the command runs; with --json the same facts are gathered into
// one JSON object, written when the command ends. Errors and warnings go to
// standard error in both modes.
#pragma once

#include "board/Simulator.h"
#include "cli/Cli.h"

#include <nlohmann/json.hpp>

#include <string>

namespace bypassctl {

using Json = nlohmann::ordered_json;

// The simulated hardware's relays, watchdog and restarts, as the report and
// keepalive's status file give them.
Json ModelledStateJson(const ModelledState& state);

class Report {
public:
    Report(Console& console, bool json);

    // One line of text output; nothing with --json.
    void Say(const std::string& line);
    // One fact of the JSON object, in the order the command learns them.
    void Set(const char* key, Json value);
    // "bypassctl: warning: text" on standard error; with --json also the
    // object's "warning".
    void Warn(const std::string& text);
    // What the simulated hardware holds: the relays and the watchdog.
    void BoardState(const ModelledState& state);
    // The port accesses of the command that failed so far: any turns its
    // end into exit 3, whatever else it reports.
    void CountFailedAccesses(unsigned long count);

    // Ends the command: the JSON object with exit code 0 (3 when port
    // accesses failed).
    int Done();
    // Ends the command with code and one line saying why.
    int Fail(ExitCode code, const std::string& message);

private:
    int End(ExitCode code);
    std::string FailedAccessesText() const;

    Console& m_console;
    bool m_json;
    Json m_facts;
    unsigned long m_failedAccesses = 0;
};

} // namespace bypassctl
