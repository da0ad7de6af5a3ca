// keepalive's state in the Prometheus text format, for node_exporter's
// textfile collector, which reads every *.prom file of its directory at each
// scrape: the file is replaced whole after each round, as the status file is.
#pragma once

#include "supervise/HealthCheck.h"

#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace bypassctl {

// Each check's last verdict, for the metrics: the checks keepalive runs are
// wrapped so that the rounds need not know of it.
class CheckResults {
public:
    Checks Record(Checks checks);
    // The checks' names and verdicts (1 healthy, 0 failed, -1 not run yet).
    const std::vector<std::pair<std::string, int>>& Verdicts() const { return m_verdicts; }

private:
    std::vector<std::pair<std::string, int>> m_verdicts;
};

struct KeepaliveMetrics {
    const char* state; // "re-arming", "not re-arming", "expired", "stopped"
    bool counting;     // the watchdog is armed and counting
    long long secondsLeft;
    int rearms;
    int failedRounds;
    std::time_t lastArm;
    int boardType;
    const char* action; // "bypass" or "restart"
    const CheckResults& checks;
};

std::string PrometheusText(const KeepaliveMetrics& metrics);

} // namespace bypassctl
