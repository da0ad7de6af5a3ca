// The chipset's SMBus host controller (an Intel-style controller at PCI
// bus 0, device 31, function 3) and the one transaction the board needs: a
// byte-data write to one register of one device. The functions take the
// controller's I/O base and keep no state.
#pragma once

#include <cstdint>

// The controller's I/O base, or 0 when the chipset has no SMBus controller.
std::uint16_t probe_smbus_controller();

// Clears the pending status bits: 0 once they are clear, -1 when they stay set.
int smbus_clear_status(std::uint16_t base);

// Waits for the end of a started transaction: 0 when it completed, -1 on a
// device error or when the controller stayed busy (the transaction is then
// killed).
int smbus_wait_complete(std::uint16_t base);

// Writes value to register reg of the device at the 7-bit address: 0 on
// success, -1 when the status would not clear or the transaction failed.
int smbus_write_byte(
    std::uint16_t base, std::uint8_t address, std::uint8_t reg, std::uint8_t value);
