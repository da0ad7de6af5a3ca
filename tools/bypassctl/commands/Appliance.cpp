#include "commands/Appliance.h"

#include "board/BoardChoice.h"
#include "cli/Report.h"
#include "platform/ApplianceSocket.h"

#include "porttalk/PortTalkSocket.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace bypassctl {
namespace {

using Clock = std::chrono::steady_clock;
using bypass::sim::ExpiryAction;

std::string DefaultSocket()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    const std::filesystem::path dir = runtime && *runtime
        ? std::filesystem::path(runtime)
        : std::filesystem::temp_directory_path(error);
    return (dir / "bypassctl-appliance.sock").string();
}

// UTC to the millisecond, as log lines from several processes compare.
std::string Timestamp()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    char text[40];
    const std::size_t length
        = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(ms));
    return text;
}

const char* ActionName(ExpiryAction action)
{
    return action == ExpiryAction::Restart ? "restart"
        : action == ExpiryAction::Bypass   ? "bypass"
                                           : "none";
}

const char* RelayName(bypass::sim::Relay relay)
{
    return relay == bypass::sim::Relay::Bypass ? "bypass" : "normal";
}

// The model's ports as the driver core reaches them.
bypass::PortBackend& PortsOf(void* context) { return *static_cast<bypass::PortBackend*>(context); }

PortTalkPorts ModelPorts(bypass::PortBackend& model)
{
    PortTalkPorts ports{};
    ports.context = &model;
    ports.read8 = [](void* c, unsigned short port) { return PortsOf(c).In8(port); };
    ports.read16 = [](void* c, unsigned short port) { return PortsOf(c).In16(port); };
    ports.read32
        = [](void* c, unsigned short port) -> unsigned long { return PortsOf(c).In32(port); };
    ports.write8
        = [](void* c, unsigned short port, unsigned char value) { PortsOf(c).Out8(port, value); };
    ports.write16
        = [](void* c, unsigned short port, unsigned short value) { PortsOf(c).Out16(port, value); };
    ports.write32 = [](void* c, unsigned short port, unsigned long value) {
        PortsOf(c).Out32(port, static_cast<std::uint32_t>(value));
    };
    // The model's chipset decodes configuration mechanism 1 itself.
    ports.pciConfigRead32 = [](void* c, unsigned long address) -> unsigned long {
        PortsOf(c).Out32(PCI_ADDRESS_PORT, static_cast<std::uint32_t>(address));
        return PortsOf(c).In32(PCI_DATA_PORT);
    };
    return ports;
}

// The board's model on the wall clock, served through the driver core, and
// the log of every change of its outputs.
class VirtualAppliance : public ApplianceService {
public:
    VirtualAppliance(BoardSimulator& board, std::string product, Console& console, bool json)
        : m_board(board)
        , m_product(std::move(product))
        , m_console(console)
        , m_json(json)
        , m_ports(ModelPorts(board.Ports()))
        , m_state(board.State())
        , m_since(Clock::now())
    {
        PortTalkLearnPlatform(&m_platform, &m_ports);
    }

    // Lets the time pass that passed on the wall clock; what changes now is
    // the watchdog's doing.
    void Tick() override
    {
        const auto ms
            = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_since);
        if (ms.count() <= 0)
            return;
        m_since += ms;
        m_board.Pass(static_cast<unsigned long long>(ms.count()));
        Notice(false);
    }

    unsigned long Answer(PortTalkHandle& handle, unsigned long code, unsigned char* buffer,
        unsigned long inSize, unsigned long outSize, unsigned long& answered) override
    {
        Tick();
        if (code == PORTTALK_QUERY_BOARD)
            return AnswerBoardQuery(buffer, outSize, answered);
        const unsigned long outcome = PortTalkServe(
            &m_platform, &m_ports, &handle, code, buffer, inSize, outSize, &answered);
        Notice(true);
        return outcome;
    }

    void Log(Json event, const std::string& text)
    {
        const std::string time = Timestamp();
        if (m_json) {
            Json line = {{"time", time}};
            line.update(event);
            m_console.out << line.dump(-1, ' ', false, Json::error_handler_t::replace) << std::endl;
        } else {
            m_console.out << time << " " << text << std::endl;
        }
    }

private:
    unsigned long AnswerBoardQuery(
        unsigned char* buffer, unsigned long outSize, unsigned long& answered)
    {
        answered = static_cast<unsigned long>(std::min<std::size_t>(m_product.size(), outSize));
        std::memcpy(buffer, m_product.data(), answered);
        return PORTTALK_OUTCOME_DONE;
    }

    // Logs what changed since the last look: by a request, or by the time
    // that passed.
    void Notice(bool requested);
    void NoticeWatchdog(const bypass::sim::WatchdogState& was,
        const bypass::sim::WatchdogState& now, bool requested, bool restarted);

    BoardSimulator& m_board;
    std::string m_product;
    Console& m_console;
    bool m_json;
    PortTalkPorts m_ports;
    PortPlatform m_platform{};
    ModelledState m_state;
    Clock::time_point m_since;
};

void VirtualAppliance::Notice(bool requested)
{
    const ModelledState now = m_board.State();
    const bool restarted = now.restarts != m_state.restarts;
    NoticeWatchdog(m_state.watchdog, now.watchdog, requested, restarted);
    for (std::size_t i = 0; i < now.relays.size(); ++i) {
        if (now.relays[i] != m_state.relays[i])
            Log({{"event", "relay"}, {"segment", i}, {"state", RelayName(now.relays[i])}},
                "relay " + std::to_string(i) + ": " + RelayName(now.relays[i]));
    }
    if (restarted)
        Log({{"event", "system_restarted"}, {"restarts", now.restarts}},
            "system restarted (" + std::to_string(now.restarts) + " so far)");
    m_state = now;
}

// A count that ran out while time passed expired; one that stopped or
// started with a request was stopped or started by it. The model tells the
// time left in whole seconds, rounded up, so a re-arm shows where it raises
// them: every re-arm one second or more after the last.
void VirtualAppliance::NoticeWatchdog(const bypass::sim::WatchdogState& was,
    const bypass::sim::WatchdogState& now, bool requested, bool restarted)
{
    const std::string seconds = std::to_string(now.seconds);
    if (!requested && was.running && (!now.running || restarted))
        Log({{"event", "watchdog_expired"}, {"action", ActionName(was.action)}},
            std::string("watchdog expired: ") + ActionName(was.action));
    else if (!was.running && now.running)
        Log({{"event", "watchdog_started"}, {"action", ActionName(now.action)},
                {"seconds", now.seconds}},
            std::string("watchdog started: ") + ActionName(now.action) + " in " + seconds + " s");
    else if (was.running && !now.running)
        Log({{"event", "watchdog_stopped"}}, "watchdog stopped");
    else if (now.running && (now.seconds > was.seconds || now.action != was.action))
        Log({{"event", "watchdog_rearmed"}, {"action", ActionName(now.action)},
                {"seconds", now.seconds}},
            std::string("watchdog re-armed: ") + ActionName(now.action) + " in " + seconds + " s");
}

} // namespace

void AddApplianceOptions(CLI::App& command, Options& options)
{
    command.add_option("--socket", options.socket,
        "the Unix socket to serve (default $XDG_RUNTIME_DIR/bypassctl-appliance.sock, else in "
        "the temporary directory)");
}

void RunAppliance(Context& context)
{
    const Options& options = context.options;
    if (options.simulate.empty())
        throw CommandError{
            kExitUsage, "appliance needs the board to model: --simulate TYPE|PRODUCT"};
    const Board board = ChooseBoard(options);
    const int type = ResolveType(board);
    const std::string product = ReportedProduct();
    const std::string path = options.socket.empty() ? DefaultSocket() : options.socket;
    VirtualAppliance appliance(*board.simulator, product, context.console, options.json);
    try {
        ServeApplianceSocket(path, appliance, [&] {
            appliance.Log(
                {{"event", "serving"}, {"socket", path}, {"type", type}, {"product", product}},
                "serving board type " + std::to_string(type) + " (\"" + product + "\") on " + path);
        });
    } catch (const ApplianceSocketError& error) {
        throw CommandError{
            error.kind == ApplianceSocketError::Kind::Busy ? kExitBusy : kExitUsage, error.message};
    }
    appliance.Log({{"event", "stopped"}, {"restarts", board.simulator->State().restarts}},
        "stopped; the socket is removed");
    context.report.Set("socket", path);
}

} // namespace bypassctl
