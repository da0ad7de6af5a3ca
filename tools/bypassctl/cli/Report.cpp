#include "cli/Report.h"

#include <utility>

namespace bypassctl {
namespace {

const char* RelayName(bypass::sim::Relay relay)
{
    return relay == bypass::sim::Relay::Bypass ? "bypass" : "normal";
}

const char* ExpiryName(bypass::sim::ExpiryAction action)
{
    switch (action) {
    case bypass::sim::ExpiryAction::Bypass:
        return "bypass";
    case bypass::sim::ExpiryAction::Restart:
        return "restart";
    default:
        return "none";
    }
}

} // namespace

Json ModelledStateJson(const ModelledState& state)
{
    Json relays = Json::array();
    for (bypass::sim::Relay relay : state.relays)
        relays.push_back(RelayName(relay));
    Json watchdog = {{"running", state.watchdog.running},
        {"action", ExpiryName(state.watchdog.action)}, {"seconds_left", state.watchdog.seconds}};
    return {{"relays", relays}, {"watchdog", watchdog}, {"restarts", state.restarts}};
}

namespace {

std::string RelaysText(const ModelledState& state)
{
    if (state.relays.empty())
        return "none on this board";
    std::string text;
    for (std::size_t segment = 0; segment < state.relays.size(); ++segment)
        text += (segment ? ", segment " : "segment ") + std::to_string(segment) + " "
            + RelayName(state.relays[segment]);
    return text;
}

std::string WatchdogText(const ModelledState& state)
{
    const bypass::sim::WatchdogState& watchdog = state.watchdog;
    std::string text = watchdog.running ? "running, " + std::to_string(watchdog.seconds)
            + " s left, expiry action " + ExpiryName(watchdog.action)
                                        : std::string("stopped");
    if (state.restarts)
        text += "; its expiry restarted the system " + std::to_string(state.restarts) + " times";
    return text;
}

} // namespace

Report::Report(Console& console, bool json)
    : m_console(console)
    , m_json(json)
{
}

void Report::Say(const std::string& line)
{
    if (!m_json)
        m_console.out << line << std::endl;
}

void Report::Set(const char* key, Json value) { m_facts[key] = std::move(value); }

// JSON gets every warning too, joined in the order given.
void Report::Warn(const std::string& text)
{
    m_console.err << "bypassctl: warning: " << text << std::endl;
    const auto earlier = m_facts.find("warning");
    Set("warning", earlier == m_facts.end() ? text : earlier->get<std::string>() + "; " + text);
}

void Report::BoardState(const ModelledState& state)
{
    Set("board_state", ModelledStateJson(state));
    Say("simulated relays: " + RelaysText(state));
    Say("simulated watchdog: " + WatchdogText(state));
}

void Report::CountFailedAccesses(unsigned long count)
{
    if (count == 0)
        return;
    m_failedAccesses = count;
    Set("failed_port_accesses", count);
}

std::string Report::FailedAccessesText() const
{
    return std::to_string(m_failedAccesses)
        + " port accesses failed: the board did not get the whole sequence";
}

int Report::Done()
{
    if (m_failedAccesses)
        return Fail(kExitNoPortAccess, FailedAccessesText());
    return End(kExitDone);
}

// A failed access comes first: the board's answer to a sequence it did not
// get whole says nothing.
int Report::Fail(ExitCode code, const std::string& message)
{
    const bool accessesFailed = m_failedAccesses && code != kExitNoPortAccess;
    std::string text = accessesFailed ? FailedAccessesText() : "";
    text += (text.empty() || message.empty() ? "" : "; ") + message;
    if (!text.empty()) {
        m_console.err << "bypassctl: " << text << std::endl;
        Set("error", text);
    }
    return End(accessesFailed ? kExitNoPortAccess : code);
}

// Names and arguments may carry bytes that are no UTF-8 (a product name, a
// typo'd argument): JSON gets U+FFFD for them instead of no object at all.
int Report::End(ExitCode code)
{
    if (m_json) {
        Set("exit_code", code);
        m_console.out << m_facts.dump(-1, ' ', false, Json::error_handler_t::replace) << std::endl;
    }
    return code;
}

} // namespace bypassctl
