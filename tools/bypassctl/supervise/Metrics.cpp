#include "supervise/Metrics.h"

namespace bypassctl {
namespace {

class RecordedCheck : public HealthCheck {
public:
    RecordedCheck(std::unique_ptr<HealthCheck> check, std::vector<std::pair<std::string, int>>& all)
        : m_check(std::move(check))
        , m_all(all)
        , m_index(all.size())
    {
        all.emplace_back(m_check->Name(), -1);
    }
    std::string Name() const override { return m_check->Name(); }
    CheckVerdict Run(std::chrono::milliseconds timeout) override
    {
        CheckVerdict verdict = m_check->Run(timeout);
        m_all[m_index].second = verdict.healthy ? 1 : 0;
        return verdict;
    }

private:
    std::unique_ptr<HealthCheck> m_check;
    std::vector<std::pair<std::string, int>>& m_all;
    std::size_t m_index;
};

// A label's value as the exposition format quotes it.
std::string LabelValue(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return '"' + escaped + '"';
}

std::string Family(const char* name, const char* type, const char* help)
{
    return std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

std::string Sample(const char* name, const std::string& labels, long long value)
{
    return std::string(name) + (labels.empty() ? "" : "{" + labels + "}") + " "
        + std::to_string(value) + "\n";
}

std::string CheckSamples(const CheckResults& checks)
{
    std::string text = Family("bypassctl_check_healthy", "gauge",
        "whether the health check passed in the last round (1) or failed (0)");
    for (const auto& [name, verdict] : checks.Verdicts()) {
        if (verdict >= 0)
            text += Sample("bypassctl_check_healthy", "check=" + LabelValue(name), verdict);
    }
    return text;
}

} // namespace

Checks CheckResults::Record(Checks checks)
{
    m_verdicts.reserve(checks.size()); // the wrappers keep indices into it
    Checks recorded;
    for (auto& check : checks)
        recorded.push_back(std::make_unique<RecordedCheck>(std::move(check), m_verdicts));
    return recorded;
}

std::string PrometheusText(const KeepaliveMetrics& metrics)
{
    std::string text = Family("bypassctl_keepalive_state", "gauge",
        "keepalive's state: re-arming, not re-arming (the checks failed), expired or stopped");
    for (const char* state : {"re-arming", "not re-arming", "expired", "stopped"})
        text += Sample("bypassctl_keepalive_state", "state=" + LabelValue(state),
            std::string(state) == metrics.state);
    text += Family("bypassctl_watchdog_armed", "gauge", "whether the watchdog is counting");
    text += Sample("bypassctl_watchdog_armed", "", metrics.counting);
    text += Family("bypassctl_watchdog_seconds_left", "gauge",
        "seconds until the watchdog expires unless re-armed (0 when not counting)");
    text += Sample("bypassctl_watchdog_seconds_left", "", metrics.secondsLeft);
    text += Family("bypassctl_keepalive_rearms_total", "counter", "re-arms since keepalive began");
    text += Sample("bypassctl_keepalive_rearms_total", "", metrics.rearms);
    text += Family("bypassctl_keepalive_failed_rounds_total", "counter",
        "rounds whose health checks failed since keepalive began");
    text += Sample("bypassctl_keepalive_failed_rounds_total", "", metrics.failedRounds);
    text += Family("bypassctl_watchdog_last_arm_timestamp_seconds", "gauge",
        "when the watchdog was last armed or re-armed, in unix seconds");
    text += Sample("bypassctl_watchdog_last_arm_timestamp_seconds", "", metrics.lastArm);
    text += CheckSamples(metrics.checks);
    text += Family("bypassctl_board_info", "gauge", "the board's type and the expiry action");
    text += Sample("bypassctl_board_info",
        "type=" + LabelValue(std::to_string(metrics.boardType))
            + ",action=" + LabelValue(metrics.action),
        1);
    return text;
}

} // namespace bypassctl
