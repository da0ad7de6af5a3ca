// PCI configuration mechanism 1, an Intel-style SMBus host controller and
// the bypass controller that the G41-LS board has on that bus.
#pragma once

#include "sim/SimDevice.h"

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace bypass::sim {

// Configuration mechanism 1: a 32-bit write to 0xCF8 latches the address
// (bit 31 enable, bus, device, function, register); 0xCFC to 0xCFF then
// reach that dword. Functions that are not there read all ones; in one
// that is, a register the model does not hold reads 0. Writes change only
// the bits a register declares writable.
class PciConfigSpace : public SimDevice {
public:
    bool Decodes(std::uint32_t port) const override { return port >= 0xCF8 && port <= 0xCFF; }
    std::uint32_t Read(std::uint32_t port, unsigned width) override;
    void Write(std::uint32_t port, unsigned width, std::uint32_t value) override;

    // A register as the firmware leaves it; a function is there once its
    // dword 0 (vendor and device ID) is set.
    void SetDword(unsigned bus, unsigned device, unsigned function, unsigned reg,
        std::uint32_t value, std::uint32_t writable = 0);
    std::uint32_t Dword(unsigned bus, unsigned device, unsigned function, unsigned reg) const;

private:
    struct Register {
        std::uint32_t value, writable;
    };
    bool FunctionThere(std::uint32_t address) const;

    std::uint32_t m_address = 0;
    std::map<std::uint32_t, Register> m_dwords;
};

// A device on the bus with registers that a command byte names. A send byte
// names the register that the next receive byte reads.
class SmbusSlave {
public:
    virtual ~SmbusSlave() = default;
    virtual void WriteByte(std::uint8_t command, std::uint8_t value) = 0;
    virtual std::uint8_t ReadByte(std::uint8_t command) const = 0;

    std::uint8_t pointer = 0;
};

// The host controller's registers at its I/O base B: status at B (bit 0
// busy, read-only, as i801 knows it by refusing to start while it is set;
// bit 1 done, bit 2 device error, bit 4 failed: a kill ended a transaction;
// these written 1 to clear),
// control at B+2 (0x40 start, protocol in bits 4-2, 0x02 kill), command at
// B+3, slave address at B+4 (bit 0 = read) and data 0 and 1 at B+5 and B+6.
// A started transaction keeps the host busy while it runs on the bus; then
// it is done, or a device error when no device answers the address or the
// device refuses the protocol. A read fills the data registers. Changing a
// register or starting again while the host is busy breaks its protocol.
// While the host-enable bit of its PCI function (0x40 bit 0, HST_EN) is
// clear, the host runs no transaction.
class SmbusHost : public SimDevice {
public:
    explicit SmbusHost(std::uint16_t base)
        : m_base(base)
    {
    }

    bool Decodes(std::uint32_t port) const override { return port >= m_base && port < m_base + 8u; }
    std::uint32_t Read(std::uint32_t port, unsigned width) override;
    void Write(std::uint32_t port, unsigned width, std::uint32_t value) override;
    void Run(unsigned long long ms);

    void Attach(std::uint8_t address, SmbusSlave& slave) { m_slaves[address] = &slave; }
    // Tells the host whether HST_EN is set.
    std::function<bool()> hostEnabled = [] { return true; };

private:
    void Start(std::uint8_t control);
    void Kill();
    bool Transfer(SmbusSlave& slave, unsigned protocol, bool read);

    std::uint16_t m_base;
    std::uint8_t m_regs[8] = {};
    std::map<std::uint8_t, SmbusSlave*> m_slaves;
    std::uint8_t m_outcome = 0;      // status bit the running transaction ends with
    unsigned long long m_busyMs = 0; // left until it ends
};

// The bypass controller at SMBus address 0x37. Register 0x12 puts the
// segments whose bits are set into bypass and the others back to normal;
// 0x11 names the segments that a watchdog expiry puts into bypass; 0x10
// is kept. A write to 0x24 starts or reloads the watchdog with the seconds
// in 0x22 (0 does not run), a write to 0x25 stops it.
class BypassController : public SmbusSlave {
public:
    explicit BypassController(unsigned segments)
        : m_bypass(segments, false)
    {
    }

    void WriteByte(std::uint8_t command, std::uint8_t value) override;
    std::uint8_t ReadByte(std::uint8_t command) const override { return m_regs[command]; }
    void Run(unsigned long long ms);

    bool Bypassed(unsigned segment) const { return m_bypass.at(segment); }
    std::uint8_t Register(std::uint8_t reg) const { return m_regs[reg]; }
    bool WatchdogRunning() const { return m_count.Running(); }
    unsigned long long WatchdogSecondsLeft() const { return m_count.SecondsLeft(); }

private:
    void SetSegments(std::uint8_t mask, bool onlySet);

    std::uint8_t m_regs[256] = {};
    std::vector<bool> m_bypass;
    Countdown m_count;
};

} // namespace bypass::sim
