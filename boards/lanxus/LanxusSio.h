// The ITE IT87-series Super I/O of the LANXUS boards, reached through its
// configuration ports: 0x2E takes a register index, 0x2F its value. The
// watchdog lives in logical device 7. The tools only ever write the chip.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace bypass {

// Watchdog registers of logical device 7 that both LANXUS boards write.
constexpr std::uint8_t kLanxusWdtControl = 0x71;
constexpr std::uint8_t kLanxusWdtConfig = 0x72;
constexpr std::uint8_t kLanxusWdtCountLow = 0x73;
constexpr std::uint8_t kLanxusWdtCountHigh = 0x74;

// Values of the watchdog configuration register: stopped, or counting with
// the expiry action bypass or restart.
constexpr std::uint8_t kLanxusWdtStopped = 0x00;
constexpr std::uint8_t kLanxusWdtBypassOnExpiry = 0x80;
constexpr std::uint8_t kLanxusWdtRestartOnExpiry = 0xC0;

// The expiry action a tool arms the watchdog for.
constexpr int kLanxusArmRestart = 0;
constexpr int kLanxusArmBypass = 1;

// One register write of a configuration sequence.
struct LanxusSioWrite {
    std::uint8_t index;
    std::uint8_t value;
};

// Puts the chip into configuration mode with its entry key.
void EnterLanxusSio();
// Writes value to the configuration register index.
void WriteLanxusSioReg(std::uint8_t index, std::uint8_t value);
// Leaves configuration mode.
void ExitLanxusSio();

// One whole configuration sequence: enter, select the watchdog device,
// the writes in the order given, leave.
void RunLanxusSioSequence(std::initializer_list<LanxusSioWrite> writes);

// The count register takes whole seconds in one byte: the low 8 bits of
// seconds, so larger timeouts wrap (300 s counts 44 s) and -1 counts 255 s.
std::uint8_t LanxusWdtCount(int seconds);

// Writes a new count into the device the last sequence selected, which on
// both boards is the watchdog's; the expiry action stays as it was armed.
void ReloadLanxusWDT(int seconds);

} // namespace bypass
