#include "SimClient.h"

#include <cstdio>
#include <sstream>

SimDriver::SimDriver()
    : m_device(CreateFileA("\\\\.\\PortTalkSim", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
{
}

SimDriver::~SimDriver()
{
    if (IsLoaded())
        CloseHandle(m_device);
}

bool SimDriver::IsLoaded() const { return m_device != INVALID_HANDLE_VALUE; }

bool SimDriver::Request(unsigned long code, const void* in, unsigned long inSize, void* out,
    unsigned long outSize, unsigned long* answered)
{
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(
        m_device, code, const_cast<void*>(in), inSize, out, outSize, &returned, nullptr);
    if (!ok)
        std::fprintf(stderr, "control request %lx failed: %lu\n", code, GetLastError());
    if (answered)
        *answered = returned;
    return ok;
}

void SimDriver::Reset() { Request(SIM_RESET, nullptr, 0, nullptr, 0); }

void SimDriver::ScriptReads(const std::vector<SimScriptedRead>& reads)
{
    if (!reads.empty())
        Request(SIM_SCRIPT_READS, reads.data(), reads.size() * sizeof reads[0], nullptr, 0);
}

void SimDriver::ClearTrace() { Request(SIM_CLEAR_TRACE, nullptr, 0, nullptr, 0); }

SimCounts SimDriver::Counts()
{
    SimCounts counts = {};
    Request(SIM_FETCH_COUNTS, nullptr, 0, &counts, sizeof counts);
    return counts;
}

namespace {

std::string FormatEntry(const SimTraceEntry& entry)
{
    if (entry.event == SIM_EVENT_OPEN)
        return "open";
    if (entry.event == SIM_EVENT_CLOSE)
        return "close";
    char line[48];
    const int digits = entry.width / 4;
    if (entry.event == SIM_EVENT_READ)
        std::snprintf(
            line, sizeof line, "in%u %X -> %0*lX", entry.width, entry.port, digits, entry.value);
    else
        std::snprintf(
            line, sizeof line, "out%u %X %0*lX", entry.width, entry.port, digits, entry.value);
    return line;
}

} // namespace

std::vector<std::string> SimDriver::Trace()
{
    std::vector<SimTraceEntry> entries(SIM_TRACE_CAPACITY);
    unsigned long answered = 0;
    Request(
        SIM_FETCH_TRACE, nullptr, 0, entries.data(), entries.size() * sizeof entries[0], &answered);
    std::vector<std::string> lines;
    for (unsigned long i = 0; i < answered / sizeof entries[0]; ++i)
        lines.push_back(FormatEntry(entries[i]));
    return lines;
}

std::vector<std::string> DriverView(const std::string& expected)
{
    std::vector<std::string> lines;
    std::istringstream text(expected);
    std::string line;
    while (std::getline(text, line)) {
        line = line.substr(0, line.find('#'));
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos)
            continue;
        line = line.substr(first, line.find_last_not_of(" \t") + 1 - first);
        if (line.rfind("sleep ", 0) == 0)
            continue;
        lines.push_back(line.rfind("open", 0) == 0 ? "open" : line);
    }
    return lines;
}

std::vector<SimScriptedRead> ReadsOf(const std::vector<std::string>& lines)
{
    std::vector<SimScriptedRead> reads;
    for (const std::string& line : lines) {
        unsigned width = 0;
        unsigned long port = 0, value = 0;
        if (std::sscanf(line.c_str(), "in%u %lx -> %lx", &width, &port, &value) == 3)
            reads.push_back({port, value});
    }
    return reads;
}
