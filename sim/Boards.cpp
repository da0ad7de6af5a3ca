// One preset per catalogue board: the chips, the GPIO wiring of the relays
// and where each watchdog's output goes.
#include "boards/BoardTable.h"
#include "sim/BoardLogic.h"
#include "sim/BoardModel.h"
#include "sim/Chipset.h"
#include "sim/Smbus.h"
#include "sim/SuperIo.h"

#include <functional>
#include <map>

namespace bypass::sim {
namespace {

Relay RelayFor(bool bypass) { return bypass ? Relay::Bypass : Relay::Normal; }

bool LineOf(std::uint64_t levels, unsigned line) { return (levels >> line) & 1; }

std::uint64_t Lines(std::initializer_list<unsigned> lines)
{
    std::uint64_t bits = 0;
    for (unsigned line : lines)
        bits |= std::uint64_t(1) << line;
    return bits;
}

// The MSI boards whose watchdog is device 8 of a W83627-family chip. Its
// output, once routed to its pin, restarts the system when register 0xF5
// asks for it; otherwise the board wiring throws every relay into bypass.
class MsiDevice8Board : public BoardModel {
public:
    WatchdogState Watchdog() const override
    {
        ExpiryAction action = ExpiryAction::None;
        if (m_sio.OutputOnPin())
            action = m_sio.RestartOnExpiry() ? ExpiryAction::Restart : ExpiryAction::Bypass;
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

// The relay controller of the H61 boards, on PCH GPIO lines: on the rising
// edge of GPIO 14 it takes the segment from GPIO 46, 45 and 44 (46 the low
// bit) and the relay state from GPIO 9 (1 = bypass).
unsigned H61Segment(std::uint64_t levels)
{
    return LineOf(levels, 46) | (LineOf(levels, 45) << 1) | (LineOf(levels, 44) << 2);
}

constexpr unsigned kH61Strobe = 14, kH61State = 9;
const std::uint64_t kH61LatchedLines = Lines({kH61State, 43, 44, 45, 46});

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

// The LANXUS boards: an IT87 watchdog whose keyboard-reset or power-good
// output restarts the system; otherwise its output reaches the relays only
// through the routing registers the board's bypass arming programs.
class LanxusBoard : public BoardModel {
public:
    WatchdogState Watchdog() const override
    {
        ExpiryAction action = ExpiryAction::None;
        if (m_sio.ResetsOnExpiry())
            action = ExpiryAction::Restart;
        else if (RoutedToBypass())
            action = ExpiryAction::Bypass;
        return {m_sio.WatchdogRunning(), action, m_sio.WatchdogSecondsLeft()};
    }

protected:
    LanxusBoard(int type, unsigned segments, std::uint16_t gpioBase)
        : BoardModel(type, segments)
        , m_gpio(gpioBase)
    {
        AttachChip(m_sio);
        Attach(m_gpio);
        m_sio.onExpiry = [this] {
            if (m_sio.ResetsOnExpiry())
                Restart();
            else if (RoutedToBypass())
                SetAllRelays(Relay::Bypass);
        };
    }

    void Run(unsigned long long ms) override { m_sio.Run(ms); }
    virtual bool RoutedToBypass() const = 0;

    Ite87Chip m_sio;
    GpioBank m_gpio;
};

// H61-LANXUS: the H61 relay controller, its six lines left at rest (GPIO
// outputs, high) by the firmware; 0xF1 = 0x44 and 0xF4 = 0x13 route the
// timeout to it.
class H61LanxusBoard : public LanxusBoard {
public:
    H61LanxusBoard()
        : LanxusBoard(10, 2, 0x500)
    {
        for (unsigned line : {9u, 14u, 43u, 44u, 45u, 46u})
            m_gpio.DriveAtPowerOn(line, true);
        m_gpio.WatchLatch(kH61Strobe, kH61LatchedLines, [this](std::uint64_t levels) {
            SetRelay(H61Segment(levels), RelayFor(LineOf(levels, kH61State)));
        });
    }

protected:
    bool RoutedToBypass() const override
    {
        return m_sio.Register(7, 0xF1) == 0x44 && m_sio.Register(7, 0xF4) == 0x13;
    }
};

// D525-LANXUS: one relay line, GPIO 8 (0 = bypass), which the firmware
// leaves a GPIO output, high, as it does GPIO 9. A write of its level byte
// sets the relay; an expiry overrides it until the next such write. Global
// 0x28 = 0xC3 and device 7's 0xBB = 0x01, 0xF1 = 0x44, 0xF4 = 0x21 route
// the timeout to it.
class D525LanxusBoard : public LanxusBoard {
public:
    D525LanxusBoard()
        : LanxusBoard(11, 1, 0x1180)
    {
        m_gpio.DriveAtPowerOn(8, true);
        m_gpio.DriveAtPowerOn(9, true);
        m_gpio.WatchLines([this](std::uint32_t port, std::uint64_t, std::uint64_t after) {
            if (port >= 0x118C && port <= 0x118F)
                SetRelay(0, RelayFor(!LineOf(after, 8)));
        });
    }

protected:
    bool RoutedToBypass() const override
    {
        return m_sio.Register(0, 0x28) == 0xC3 && m_sio.Register(7, 0xBB) == 0x01
            && m_sio.Register(7, 0xF1) == 0x44 && m_sio.Register(7, 0xF4) == 0x21;
    }
};

// Q35: chipset GPIO 24 (0x48F bit 0) = 0 puts the ports into bypass, GPIO 27
// (bit 3) = 1 sends the IT87 watchdog's timeout to the bypass logic instead
// of the reset line; the firmware leaves both GPIO outputs, 24 high. A
// bypass the timeout caused holds until a low pulse on the chip's GPIO pin
// 0xA21 bit 7 resets the bypass logic.
class Q35Board : public BoardModel {
public:
    Q35Board()
        : BoardModel(2, 1)
        , m_chipset(0x480)
        , m_pins(m_sio, 0xA20)
    {
        m_chipset.DriveAtPowerOn(24, true);
        m_chipset.DriveAtPowerOn(27, false);
        AttachChip(m_sio);
        Attach(m_chipset);
        Attach(m_pins);
        m_pins.WatchWrites([this](std::uint32_t, std::uint8_t, std::uint8_t) { PinWritten(); });
        m_sio.onExpiry = [this] {
            if (ExpiryBypasses())
                m_expiredIntoBypass = true;
            else
                Restart();
        };
    }

    Relay SegmentRelay(unsigned) const override
    {
        return RelayFor(!LineOf(m_chipset.Levels(), 24) || m_expiredIntoBypass);
    }

    WatchdogState Watchdog() const override
    {
        const ExpiryAction action = ExpiryBypasses() ? ExpiryAction::Bypass : ExpiryAction::Restart;
        return {m_sio.WatchdogRunning(), action, m_sio.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override { m_sio.Run(ms); }

private:
    bool ExpiryBypasses() const { return LineOf(m_chipset.Levels(), 27); }

    void PinWritten()
    {
        const bool level = m_pins.Pin(2, 0x80);
        if (level && !m_pinLevel)
            m_expiredIntoBypass = false; // the pulse ends: bypass logic reset
        m_pinLevel = level;
    }

    Ite87Chip m_sio;
    GpioBank m_chipset;
    Ite87SimpleIo m_pins;
    bool m_pinLevel = true;
    bool m_expiredIntoBypass = false;
};

// D525-LW: two segments on the IT87's simple-I/O pins, set 2 bit 3 and bit 4
// (0 = bypass, pulled up to normal until configured). No watchdog output is
// wired.
class D525LwBoard : public BoardModel {
public:
    D525LwBoard()
        : BoardModel(5001, 2)
        , m_pins(m_sio, 0x800)
    {
        AttachChip(m_sio);
        Attach(m_pins);
    }

    Relay SegmentRelay(unsigned segment) const override
    {
        return RelayFor(!m_pins.Pin(2, segment == 0 ? 0x08 : 0x10));
    }

    WatchdogState Watchdog() const override
    {
        return {m_sio.WatchdogRunning(), ExpiryAction::None, m_sio.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override { m_sio.Run(ms); }

private:
    Ite87Chip m_sio;
    Ite87SimpleIo m_pins;
};

// G41-NEXCOM (types 7 and 8): the board logic at 0xF2/0xF3 alone.
class NexcomBoard : public BoardModel {
public:
    explicit NexcomBoard(int type)
        : BoardModel(type, 1)
    {
        Attach(m_logic);
    }

    Relay SegmentRelay(unsigned) const override { return RelayFor(m_logic.Bypassed()); }

    WatchdogState Watchdog() const override
    {
        return {m_logic.WatchdogRunning(), ExpiryAction::Bypass, m_logic.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override { m_logic.Run(ms); }

    NexcomLogic m_logic;
};

// D525-NEXCOM: the same logic, and an IT87 whose watchdog restarts the system.
// The state shown is the logic's watchdog while it runs, else the chip's.
class D525NexcomBoard : public NexcomBoard {
public:
    D525NexcomBoard()
        : NexcomBoard(4)
    {
        AttachChip(m_sio);
        m_sio.onExpiry = [this] {
            if (m_sio.ResetsOnExpiry())
                Restart();
        };
    }

    WatchdogState Watchdog() const override
    {
        if (m_logic.WatchdogRunning() || !m_sio.WatchdogRunning())
            return NexcomBoard::Watchdog();
        const ExpiryAction action
            = m_sio.ResetsOnExpiry() ? ExpiryAction::Restart : ExpiryAction::None;
        return {true, action, m_sio.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override
    {
        NexcomBoard::Run(ms);
        m_sio.Run(ms);
    }

private:
    Ite87Chip m_sio;
};

// The 845 board (type 1): the logic at port 0xF2 alone.
class Board845 : public BoardModel {
public:
    Board845()
        : BoardModel(1, 1)
    {
        Attach(m_logic);
        m_logic.onRestart = [this] { Restart(); };
    }

    Relay SegmentRelay(unsigned) const override { return RelayFor(m_logic.Bypassed()); }

    WatchdogState Watchdog() const override
    {
        const ExpiryAction action
            = m_logic.ArmedForRestart() ? ExpiryAction::Restart : ExpiryAction::Bypass;
        return {m_logic.WatchdogRunning(), action, m_logic.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override { m_logic.Run(ms); }

private:
    Logic845 m_logic;
};

// G41-LS (type 5003): the ICH SMBus controller at 0/31/3 with its I/O base
// at 0xF000, and the three-segment bypass controller at address 0x37.
class SmbusBoard : public BoardModel {
public:
    SmbusBoard()
        : BoardModel(5003, 3)
        , m_host(0xF000)
        , m_controller(3)
    {
        m_pci.SetDword(0, 31, 3, 0x08, 0x0C050002); // SMBus class, revision 2
        m_pci.SetDword(0, 31, 3, 0x20, 0x0000F001); // I/O BAR
        m_host.Attach(0x37, m_controller);
        Attach(m_pci);
        Attach(m_host);
    }

    Relay SegmentRelay(unsigned segment) const override
    {
        return RelayFor(m_controller.Bypassed(segment));
    }

    WatchdogState Watchdog() const override
    {
        const ExpiryAction action
            = m_controller.Register(0x11) ? ExpiryAction::Bypass : ExpiryAction::None;
        return {m_controller.WatchdogRunning(), action, m_controller.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override
    {
        m_host.Run(ms);
        m_controller.Run(ms);
    }

private:
    PciConfigSpace m_pci;
    SmbusHost m_host;
    BypassController m_controller;
};

// Type 0: a board without bypass hardware; every port floats.
class PlainBoard : public BoardModel {
public:
    PlainBoard()
        : BoardModel(0, 0)
    {
    }

    WatchdogState Watchdog() const override { return {}; }

protected:
    void Run(unsigned long long) override { }
};

template <class Board, int... Args> std::unique_ptr<BoardModel> Make()
{
    return std::make_unique<Board>(Args...);
}

using Maker = std::unique_ptr<BoardModel> (*)();

// The model of each board type; which types exist is the board table's.
Maker ModelOf(int type)
{
    static const std::map<int, Maker> models = {
        {0, Make<PlainBoard>},
        {1, Make<Board845>},
        {2, Make<Q35Board>},
        {3, Make<Msi945Board, 3>},
        {4, Make<D525NexcomBoard>},
        {5, Make<Msi945Board, 5>},
        {6, MakeG41Ms},
        {7, Make<NexcomBoard, 7>},
        {8, Make<NexcomBoard, 8>},
        {9, Make<H61MsBoard>},
        {10, Make<H61LanxusBoard>},
        {11, Make<D525LanxusBoard>},
        {5001, Make<D525LwBoard>},
        {5002, MakeD525Ms},
        {5003, Make<SmbusBoard>},
    };
    const auto model = models.find(type);
    return model == models.end() ? nullptr : model->second;
}

} // namespace

std::unique_ptr<BoardModel> CreateBoardModel(int type)
{
    const Maker maker = FindBoard(type) ? ModelOf(type) : nullptr;
    return maker ? maker() : nullptr;
}

const std::vector<int>& ModelledBoardTypes()
{
    static const std::vector<int> types = [] {
        std::vector<int> all;
        for (const BoardRow& row : BoardTable())
            all.push_back(row.type);
        return all;
    }();
    return types;
}

} // namespace bypass::sim
