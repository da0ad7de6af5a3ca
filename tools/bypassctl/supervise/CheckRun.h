// What the health checks share: their verdicts, and the reading of a
// running check's output until its deadline. Running a command is the
// system's (HealthCheckLinux.cpp, HealthCheckWin.cpp).
#pragma once

#include "supervise/HealthCheck.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bypassctl {

inline CheckVerdict Healthy() { return {true, {}}; }
inline CheckVerdict Failed(std::string why) { return {false, std::move(why)}; }

using Clock = std::chrono::steady_clock;

// What a failed check's log line quotes of its output: the first line that
// says something, cut to a log line's length. The rest is read and dropped,
// so that a chatty command never blocks on a full pipe.
class FirstLine {
public:
    void Add(const char* data, std::size_t size)
    {
        for (std::size_t i = 0; i < size && !m_complete; ++i) {
            if (data[i] == '\n' || data[i] == '\r')
                m_complete = !m_text.empty();
            else if (m_text.size() < kMaxLength)
                m_text += data[i];
        }
    }
    const std::string& Text() const { return m_text; }

private:
    static constexpr std::size_t kMaxLength = 200;
    std::string m_text;
    bool m_complete = false;
};

inline CheckVerdict ExitedWith(const std::string& code, const FirstLine& output)
{
    return Failed("exited " + code + (output.Text().empty() ? "" : ": " + output.Text()));
}

inline CheckVerdict TimedOut(std::chrono::milliseconds timeout)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(timeout.count()) / 1000);
    return Failed(std::string("timed out after ") + seconds + " s, killed");
}

// A look at a running check's output reads a bounded amount, so that
// endless output cannot hold the check past its deadline.
constexpr int kReadsPerLook = 16;
constexpr std::size_t kReadSize = 4096;

// How long to wait for the next sign of a running check: short, so that
// its end is noticed within a few milliseconds, and never past the deadline.
inline std::chrono::milliseconds SliceUntil(Clock::time_point deadline)
{
    constexpr std::chrono::milliseconds kSlice(10);
    const auto left
        = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(std::chrono::milliseconds(0), std::min(kSlice, left));
}

// Runs the command line through the system's shell; see CommandCheck.
CheckVerdict RunShell(const std::string& command, std::chrono::milliseconds timeout);

// The checks of --process image names, where the system has them.
void AddImageNameChecks(
    std::vector<std::unique_ptr<HealthCheck>>& checks, const std::vector<std::string>& images);

} // namespace bypassctl
