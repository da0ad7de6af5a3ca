// The MSI boards: the chips, the GPIO wiring of the relays and where each
// watchdog's output goes.
#include "sim/BoardWiring.h"
#include "sim/Chipset.h"
#include "sim/SuperIo.h"

#include <memory>
#include <vector>

namespace bypass::sim {
namespace {

// The MSI boards whose watchdog is device 8 of a W83627-family chip. Its
// expiry restarts the system when register 0xF5 asks for it; otherwise its
// output, once routed to its pin, makes the board wiring throw every relay
// into bypass.
class MsiDevice8Board : public BoardModel {
public:
    WatchdogState Watchdog() const override
    {
        ExpiryAction action = ExpiryAction::None;
        if (m_sio.CanFire() && m_sio.RestartOnExpiry())
            action = ExpiryAction::Restart;
        else if (m_sio.CanFire() && m_sio.OutputOnPin())
            action = ExpiryAction::Bypass;
        return {m_sio.WatchdogRunning(), action, m_sio.WatchdogSecondsLeft()};
    }

protected:
    explicit MsiDevice8Board(int type)
        : BoardModel(type, 2)
    {
        AttachChip(m_sio);
        m_sio.onExpiry = [this] {
            if (m_sio.RestartOnExpiry())
                Restart();
            else
                SetAllRelays(Relay::Bypass);
        };
    }

    void Run(unsigned long long ms) override { m_sio.Run(ms); }

    W83627Chip m_sio;
};

// G41-MS and D525-MS: a relay latch on the ICH GPIO lines of the block at
// 0x480. On the rising edge of its strobe it takes the segment address
// (low bit first) and the relay state (1 = bypass). The tools drive these
// lines without setting them up, so the firmware leaves them GPIO outputs at
// 0, with the latch enables; GPIO 7 is the latch's gate, an input it holds
// at 1 while ready.
class MsiLatchBoard : public MsiDevice8Board {
public:
    MsiLatchBoard(int type, unsigned strobe, std::vector<unsigned> address, unsigned data,
        const std::vector<unsigned>& enables)
        : MsiDevice8Board(type)
        , m_gpio(0x480)
    {
        Attach(m_gpio);
        m_gpio.InputAtPowerOn(7, true);
        std::uint64_t inputs = Lines({data});
        for (unsigned line : address)
            inputs |= Lines({line});
        std::vector<unsigned> driven = enables;
        driven.insert(driven.end(), {strobe, data});
        driven.insert(driven.end(), address.begin(), address.end());
        for (unsigned line : driven)
            m_gpio.DriveAtPowerOn(line, false);
        m_gpio.WatchLatch(strobe, inputs, [this, address, data](std::uint64_t levels) {
            unsigned segment = 0;
            for (std::size_t i = 0; i < address.size(); ++i)
                segment |= unsigned(LineOf(levels, address[i])) << i;
            SetRelay(segment, RelayFor(LineOf(levels, data)));
        });
    }

private:
    GpioBank m_gpio;
};

// 945GM-MS and 945GC-MS: board port 0x5E, bit n = 1 puts segment n into
// bypass. A write sets the relays; an expiry overrides them until the next.
class Msi945Board : public MsiDevice8Board {
public:
    explicit Msi945Board(int type)
        : MsiDevice8Board(type)
        , m_port({{0x5E, 0x00}})
    {
        Attach(m_port);
        m_port.WatchWrites([this](std::uint32_t, std::uint8_t, std::uint8_t value) {
            SetRelay(0, RelayFor(value & 0x01));
            SetRelay(1, RelayFor(value & 0x02));
        });
    }

private:
    RegisterFile m_port;
};

// H61-MS: the watchdog of device 7 (F71 layout). The controller also
// latches GPIO 42 per segment: 1 routes the watchdog's timeout to the
// segment's bypass, 0 lets it restart the system.
class H61MsBoard : public BoardModel {
public:
    H61MsBoard()
        : BoardModel(9, 2)
        , m_gpio(0x500)
    {
        AttachChip(m_sio);
        Attach(m_gpio);
        m_gpio.WatchLatch(kH61Strobe, kH61LatchedLines | Lines({42}), [this](std::uint64_t levels) {
            const unsigned segment = H61Segment(levels);
            SetRelay(segment, RelayFor(LineOf(levels, kH61State)));
            if (segment < 2)
                m_routeToBypass[segment] = LineOf(levels, 42);
        });
        m_sio.onExpiry = [this] {
            if (RoutedToBypass())
                SetAllRelays(Relay::Bypass);
            else
                Restart();
        };
    }

    WatchdogState Watchdog() const override
    {
        ExpiryAction action = ExpiryAction::None;
        if (m_sio.OutputEnabled())
            action = RoutedToBypass() ? ExpiryAction::Bypass : ExpiryAction::Restart;
        return {m_sio.WatchdogRunning(), action, m_sio.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override { m_sio.Run(ms); }

private:
    bool RoutedToBypass() const { return m_routeToBypass[0] && m_routeToBypass[1]; }

    F71Chip m_sio;
    GpioBank m_gpio;
    bool m_routeToBypass[2] = {false, false};
};

// Level bytes 0x48C-0x48F hold GPIO 0-31, 0x4B8-0x4BB GPIO 32-63.
std::unique_ptr<BoardModel> MakeG41Ms()
{
    return std::make_unique<MsiLatchBoard>(
        6, 24, std::vector<unsigned>{6, 34, 33}, 35, std::vector<unsigned>{38, 39});
}

std::unique_ptr<BoardModel> MakeD525Ms()
{
    return std::make_unique<MsiLatchBoard>(
        5002, 29, std::vector<unsigned>{24, 14, 27}, 43, std::vector<unsigned>{41, 42});
}

const ModelRow kMsiModels[] = {
    {3, Make<Msi945Board, 3>},
    {5, Make<Msi945Board, 5>},
    {6, MakeG41Ms},
    {9, Make<H61MsBoard>},
    {5002, MakeD525Ms},
};

} // namespace

std::span<const ModelRow> MsiModels() { return kMsiModels; }

} // namespace bypass::sim
