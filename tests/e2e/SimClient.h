// The test programs' side of the simulated PortTalk driver: its control
// device, and the trace of what the library asked of the PortTalk device in
// the text form of the recording backend ("out8 4E 87", "in8 4F -> 03",
// "open", "close").
#pragma once

#include "SimControl.h"

#include <string>
#include <vector>

class SimDriver {
public:
    SimDriver();
    ~SimDriver();
    SimDriver(const SimDriver&) = delete;
    SimDriver& operator=(const SimDriver&) = delete;

    // False when the driver is not loaded (the control device is missing).
    bool IsLoaded() const;

    void Reset();
    void ScriptReads(const std::vector<SimScriptedRead>& reads);
    std::vector<std::string> Trace();
    void ClearTrace();
    SimCounts Counts();

private:
    bool Request(unsigned long code, const void* in, unsigned long inSize, void* out,
        unsigned long outSize, unsigned long* answered = nullptr);

    HANDLE m_device;
};

// An expected conversation in the recording backend's text form, as the
// board trace tests write it, seen from the driver: comments, blank lines
// and pauses dropped ("sleep" never reaches a driver), "open -> 0" as "open".
std::vector<std::string> DriverView(const std::string& expected);

// The answers an expected conversation's reads must get, in order.
std::vector<SimScriptedRead> ReadsOf(const std::vector<std::string>& lines);
