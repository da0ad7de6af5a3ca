#include "boards/smbus/SmbusHost.h"

#include "portio/PortBackend.h"

#include <cstdio>

namespace {

// PCI configuration mechanism 1: the address written to 0xCF8 selects the
// dword that 0xCFC then reads.
constexpr std::uint32_t kPciAddressPort = 0xCF8;
constexpr std::uint32_t kPciDataPort = 0xCFC;
// Bus 0, device 31, function 3: the class code and the I/O base register.
constexpr std::uint32_t kClassCodeAddress = 0x8000FB08;
constexpr std::uint32_t kIoBaseAddress = 0x8000FB20;
constexpr std::uint32_t kClassMask = 0xFFFF0000;
constexpr std::uint32_t kSmbusClass = 0x0C050000; // serial bus controller, SMBus
// The low 16 bits of the base register, without the I/O space flag in bit 0.
constexpr std::uint32_t kIoBaseMask = 0xFFFE;

// Host controller registers, as offsets from the I/O base.
constexpr unsigned kHostStatus = 0;
constexpr unsigned kHostControl = 2;
constexpr unsigned kHostCommand = 3;
constexpr unsigned kSlaveAddress = 4;
constexpr unsigned kHostData0 = 5;

// Host status bits.
constexpr std::uint8_t kBusy = 0x01;
constexpr std::uint8_t kDeviceErrors = 0x1C;
constexpr std::uint8_t kPendingBits = 0x1F;
constexpr std::uint8_t kClearAll = 0xFF;

// Host control values.
constexpr std::uint8_t kStartByteData = 0x48; // start bit 0x40 with the byte-data protocol 0x08
constexpr std::uint8_t kKill = 0x02;

// The controller is polled in 50 ms passes, at most 1001 of them; once 1000
// passes ended unsettled it is given up on.
constexpr unsigned kPauseMs = 50;
constexpr unsigned kMaxPasses = 1001;
constexpr unsigned kGiveUpPasses = 1000;

// Port numbers are 16-bit: the base plus an offset wraps.
std::uint16_t Register(std::uint16_t base, unsigned offset)
{
    return static_cast<std::uint16_t>(base + offset);
}

std::uint32_t ReadPciConfig(std::uint32_t address)
{
    outportl(kPciAddressPort, address);
    return inportl(kPciDataPort);
}

struct Passes {
    std::uint8_t status; // the last status byte read
    unsigned unsettled;  // passes that ended with the awaited bits still set
};

// Runs pass until the status byte it answers has none of the awaited bits
// set, at most kMaxPasses times. Each pass gets the status the previous one
// read (the first gets first).
template <class Pass> Passes PollWhileSet(std::uint8_t awaited, std::uint8_t first, Pass pass)
{
    Passes passes{first, 0};
    for (unsigned i = 0; i < kMaxPasses; ++i) {
        passes.status = pass(passes.status);
        if ((passes.status & awaited) == 0)
            break;
        ++passes.unsettled;
    }
    return passes;
}

bool GaveUp(const Passes& passes) { return passes.unsettled >= kGiveUpPasses; }

// A completed transaction leaves its done bits set; writing back what a
// fresh read shows clears them for the next transaction.
void AcknowledgeStatus(std::uint16_t base)
{
    const std::uint16_t status = Register(base, kHostStatus);
    if (inportb(status) & kPendingBits)
        outportb(status, inportb(status));
}

// Pulses the kill bit so that a hung transaction releases the bus; the
// other control bits are kept as read.
void KillTransaction(std::uint16_t base)
{
    const std::uint16_t control = Register(base, kHostControl);
    outportb(control, static_cast<std::uint8_t>(inportb(control) | kKill));
    SleepMs(kPauseMs);
    outportb(control, static_cast<std::uint8_t>(inportb(control) & ~kKill));
}

} // namespace

std::uint16_t probe_smbus_controller()
{
    // An absent device reads all ones, which is no SMBus class code either.
    if ((ReadPciConfig(kClassCodeAddress) & kClassMask) != kSmbusClass)
        return 0;
    return static_cast<std::uint16_t>(ReadPciConfig(kIoBaseAddress) & kIoBaseMask);
}

int smbus_clear_status(std::uint16_t base)
{
    const std::uint16_t status = Register(base, kHostStatus);
    outportb(status, kClearAll);
    SleepMs(kPauseMs);
    // Only the second of two reads counts.
    inportb(status);
    const std::uint8_t settled = inportb(status);
    if ((settled & kPendingBits) == 0)
        return 0;

    // Bits that survived are written back one by one as they are read: the
    // first time only the pending bits, later the whole byte.
    const Passes passes
        = PollWhileSet(kPendingBits, settled & kPendingBits, [status](std::uint8_t last) {
              outportb(status, last);
              SleepMs(kPauseMs);
              return inportb(status);
          });
    std::printf("temp = %x timeout = %x\n", passes.status, passes.unsettled);
    if (!GaveUp(passes))
        return 0;
    std::printf("Temp = %x\n", passes.status);
    return -1;
}

int smbus_wait_complete(std::uint16_t base)
{
    const std::uint16_t status = Register(base, kHostStatus);
    const Passes passes = PollWhileSet(kBusy, 0, [status](std::uint8_t) {
        SleepMs(kPauseMs);
        return inportb(status);
    });
    if (GaveUp(passes)) {
        std::fprintf(stderr, "SMBus Timeout!\n");
        KillTransaction(base);
        return -1;
    }
    if (passes.status & kDeviceErrors) {
        std::fprintf(stderr, "SMBus Error = %x\n", passes.status);
        return -1;
    }
    AcknowledgeStatus(base);
    return 0;
}

int smbus_write_byte(std::uint16_t base, std::uint8_t address, std::uint8_t reg, std::uint8_t value)
{
    if (smbus_clear_status(base) != 0)
        return -1;
    outportb(Register(base, kHostCommand), reg);
    // The 7-bit address goes in bits 7-1; bit 0 clear selects a write.
    outportb(Register(base, kSlaveAddress), static_cast<std::uint8_t>(address << 1));
    outportb(Register(base, kHostData0), value);
    outportb(Register(base, kHostControl), kStartByteData);
    return smbus_wait_complete(base);
}
