// Super I/O chips as their configuration protocol and watchdogs behave.
//
// A chip has an index port and the data port above it. Outside
// configuration mode it ignores data writes and reads back all ones; the
// index port only listens for the entry key. In configuration mode the index
// port names a register and the data port reads or writes it: registers
// below 0x30 are global, the others belong to the logical device that
// register 0x07 selects. A register access outside configuration mode, or
// an index byte there that is no step of the key, breaks the protocol.
#pragma once

#include "sim/SimDevice.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace bypass::sim {

class SuperIoChip : public SimDevice {
public:
    explicit SuperIoChip(std::uint16_t indexPort);

    bool Decodes(std::uint32_t port) const override;
    std::uint32_t Read(std::uint32_t port, unsigned width) override;
    void Write(std::uint32_t port, unsigned width, std::uint32_t value) override;

    bool InConfigMode() const { return m_configMode; }
    std::uint8_t SelectedDevice() const { return m_global[0x07]; }
    // The register as the chip holds it (global below 0x30), without the
    // side effects of a read through the ports.
    std::uint8_t Register(std::uint8_t device, std::uint8_t reg) const;
    void SetRegister(std::uint8_t device, std::uint8_t reg, std::uint8_t value);

    // Lets ms of time pass for the chip's watchdog.
    virtual void Run(unsigned long long ms) = 0;
    virtual bool WatchdogRunning() const = 0;
    virtual unsigned long long WatchdogSecondsLeft() const = 0;
    // Called when the watchdog's output fires; the board decides what follows.
    std::function<void()> onExpiry;

protected:
    // A byte on the index port outside configuration mode: one step of the
    // entry key.
    virtual void KeyByte(std::uint8_t value) = 0;
    // A byte on the index port in configuration mode; the W83627 protocol
    // leaves on one of them.
    virtual void IndexByte(std::uint8_t value) { m_index = value; }
    // Register hooks for a chip's live registers; the default stores and
    // answers what was stored.
    virtual void RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value);
    virtual std::uint8_t RegisterRead(std::uint8_t device, std::uint8_t reg);

    void Enter() { m_configMode = true; }
    void Leave() { m_configMode = false; }
    void Fire();

    std::uint8_t m_index = 0;

private:
    std::uint8_t& Cell(std::uint8_t device, std::uint8_t reg);

    std::uint16_t m_indexPort;
    bool m_configMode = false;
    std::array<std::uint8_t, 0x30> m_global{};
    std::vector<std::uint8_t> m_devices; // 256 devices of 256 registers
};

// The W83627 family's protocol at 0x4E/0x4F: 0x87 twice to enter, 0xAA on
// the index port to leave. The watchdog's logical device differs per chip;
// in it, 0xF6 is the counter (it counts down and reads back the units left)
// and bit 3 of 0xF5 makes it count minutes.
class W83627ProtocolChip : public SuperIoChip {
public:
    unsigned long long WatchdogSecondsLeft() const override { return m_count.SecondsLeft(); }

protected:
    explicit W83627ProtocolChip(std::uint8_t watchdogDevice)
        : SuperIoChip(0x4E)
        , m_watchdogDevice(watchdogDevice)
    {
    }

    void KeyByte(std::uint8_t value) override;
    void IndexByte(std::uint8_t value) override;
    // A count written to 0xF6 is counted down from then on.
    void RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value) override;
    std::uint8_t RegisterRead(std::uint8_t device, std::uint8_t reg) override;

    Countdown m_count;

private:
    std::uint8_t m_watchdogDevice;
    bool m_firstKey = false;
};

// The watchdog of the W83627 family, logical device 8: 0x30 bit 0 activates
// the device, 0xF5 bit 1 chooses restart over the board's bypass wiring,
// 0xF7 bit 4 the timeout status (set on expiry, writes can
// only clear it) and bit 5 forces expiry at once. The watchdog output
// shares its pin with a GPIO line: it reaches the board only while global
// register 0x2D bit 0 is clear, and the firmware leaves it set.
class W83627Chip : public W83627ProtocolChip {
public:
    W83627Chip();

    void Run(unsigned long long ms) override;
    bool WatchdogRunning() const override { return Active() && m_count.Running(); }
    bool RestartOnExpiry() const { return (Register(8, 0xF5) & 0x02) != 0; }
    bool OutputOnPin() const { return (Register(0, 0x2D) & 0x01) == 0; }

protected:
    void RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value) override;

private:
    bool Active() const { return (Register(8, 0x30) & 0x01) != 0; }
    void Expire();
};

// The H61 board's chip: the same keys at 0x4E/0x4F, with the watchdog in
// logical device 7 as Fintek chips lay it out: 0x30 bit 0 activates the
// device (the firmware leaves it active), 0xF0 bit 7 lets the timeout reach
// the board, 0xF5 bit 5 enables the watchdog, bit 6 is the timeout status
// (written 1 to clear) and bit 3 counts minutes, 0xF6 is the counter.
class F71Chip : public W83627ProtocolChip {
public:
    F71Chip();

    void Run(unsigned long long ms) override;
    bool WatchdogRunning() const override { return Enabled() && m_count.Running(); }
    bool OutputEnabled() const { return (Register(7, 0xF0) & 0x80) != 0; }

protected:
    void RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value) override;

private:
    bool Enabled() const
    {
        return (Register(7, 0x30) & 0x01) != 0 && (Register(7, 0xF5) & 0x20) != 0;
    }
};

// The ITE IT87 protocol at 0x2E/0x2F: 0x87 0x01 0x55 0x55 to enter, bit 1 of
// register 0x02 to leave. The watchdog is logical device 7: 0x71 bit 0 is
// the timeout status (set on expiry, writes can only clear it), 0x72 bit 7
// counts seconds (else minutes), bit 6 (keyboard reset) and bit 4 (power
// good) restart the system; 0x73 and 0x74 hold the programmed count, which
// runs down inside the chip while it is not 0 and is not readable. The simple-I/O pins of set n are
// GPIO when global register 0x25 + n - 1, and simple-I/O enable 0xC0 + n - 1 and output enable 0xC8
// + n - 1 of device 7 all have the pin's bit.
class Ite87Chip : public SuperIoChip {
public:
    Ite87Chip()
        : SuperIoChip(0x2E)
    {
    }

    void Run(unsigned long long ms) override;
    bool WatchdogRunning() const override { return m_count.Running(); }
    unsigned long long WatchdogSecondsLeft() const override { return m_count.SecondsLeft(); }
    bool ResetsOnExpiry() const { return (Register(7, 0x72) & 0x50) != 0; }
    // The pins of simple-I/O set n that are GPIO outputs.
    std::uint8_t OutputPins(unsigned set) const;

protected:
    void KeyByte(std::uint8_t value) override;
    void RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value) override;

private:
    unsigned m_keyStep = 0;
    Countdown m_count;
};

} // namespace bypass::sim
