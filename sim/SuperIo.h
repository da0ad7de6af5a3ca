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
    // A byte on the data port outside configuration mode, which the chip
    // ignores; a chip whose key must come in successive writes starts over.
    virtual void KeyInterrupted() { }
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
    // The datasheet asks for two successive writes of 0x87: a data-port
    // write between them breaks the pair.
    void KeyInterrupted() override { m_firstKey = false; }
    // A count written to 0xF6 is counted down from then on.
    void RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value) override;
    std::uint8_t RegisterRead(std::uint8_t device, std::uint8_t reg) override;

    Countdown m_count;

private:
    std::uint8_t m_watchdogDevice;
    bool m_firstKey = false;
};

// The watchdog of the W83627 family, logical device 8: 0x30 bit 0 activates
// the device, 0xF7 bit 4 is the timeout status (set on expiry, writes can
// only clear it) and bit 5 forces expiry at once. The model is the
// W83627DHG as w83627hf_wdt.c drives it: 0xF5 bit 1 sends the timeout as a
// low pulse to KBRST#, its own pin, and the system restarts whatever else
// is set; without it the timeout leaves on WDTO#, which shares pin 77 with
// GPIO 5 and reaches the board's bypass wiring only while global register
// 0x2D bit 0 is clear (the firmware leaves it set). (On the EHF and NCT
// parts 0x2D bit 0 is no such multiplex; the boards' own sequence clears it
// before reaching device 8, as one does on the DHG.) A set timeout status
// keeps the chip from firing again until it is cleared: FreeBSD's wbwd.c
// clears it before arming "in case we fired before", and Linux's
// w83627hf_wdt.c when it sets the chip up; a count that runs out
// meanwhile ends with no output.
class W83627Chip : public W83627ProtocolChip {
public:
    W83627Chip();

    void Run(unsigned long long ms) override;
    bool WatchdogRunning() const override { return Active() && m_count.Running(); }
    bool RestartOnExpiry() const { return (Register(8, 0xF5) & 0x02) != 0; }
    bool OutputOnPin() const { return (Register(0, 0x2D) & 0x01) == 0; }
    // False while the timeout status of an earlier expiry is still set.
    bool CanFire() const { return (Register(8, 0xF7) & 0x10) == 0; }

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
// f71808e_wdt.c, like this model, runs the watchdog only with both 0x30
// bit 0 and 0xF5 bit 5 set. That driver never reads 0xF6 back and no
// datasheet we cite says the register counts down, so the model counts
// inside and reads back what was written, as the board's readback assumes.
class F71Chip : public W83627ProtocolChip {
public:
    F71Chip();

    void Run(unsigned long long ms) override;
    bool WatchdogRunning() const override { return Enabled() && m_count.Running(); }
    bool OutputEnabled() const { return (Register(7, 0xF0) & 0x80) != 0; }

protected:
    void RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value) override;
    std::uint8_t RegisterRead(std::uint8_t device, std::uint8_t reg) override
    {
        return Register(device, reg);
    }

private:
    bool Enabled() const
    {
        return (Register(7, 0x30) & 0x01) != 0 && (Register(7, 0xF5) & 0x20) != 0;
    }
};

// The ITE IT87 protocol at 0x2E/0x2F: 0x87 0x01 0x55 0x55 to enter, bit 1 of
// register 0x02 to leave; global 0x20/0x21 hold the chip ID, 0x22 bits 3-0
// its revision. The watchdog is logical device 7: 0x71 bit 0 is the timeout
// status (set on expiry, writes can only clear it) and bit 1 forces a
// timeout (it87_wdt.c's WDT_FORCE; it clears itself), 0x72 bit 7 counts
// seconds (else minutes), bit 5 with it 64 ms units (the IT8728F
// datasheet's extended time-out select), bit 6 (keyboard reset) and bit 4
// (power good) restart the system. 0x73 holds the count, and on the 16-bit
// parts 0x74 its high byte: it87_wdt.c counts only 8 bits on the IT8702 and
// on the IT8712 before revision 8, and leaves 0x74 alone there. The count
// runs down inside the chip while it is not 0 and is not readable. The
// simple-I/O pins of set n are GPIO when global register 0x25 + n - 1, and
// simple-I/O enable 0xC0 + n - 1 and output enable 0xC8 + n - 1 of device 7
// all have the pin's bit.
class Ite87Chip : public SuperIoChip {
public:
    // The chip that answers, by ID and revision; the IT8728F is a 16-bit part.
    explicit Ite87Chip(std::uint16_t chipId = 0x8728, std::uint8_t revision = 0x01);

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
    bool SixteenBitCount() const;
    unsigned long long UnitMs() const;
    void LoadCount();
    void Expire();

    unsigned m_keyStep = 0;
    Countdown m_count;
};

} // namespace bypass::sim
