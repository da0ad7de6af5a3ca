/* The allow-list of the PortTalk device: exactly the accesses the boards'
 * tools make, one row per port (or run of ports) with the widths and
 * directions used there, naming the boards that need it. A generic port
 * driver lets any caller reach any port; this one serves only what the
 * boards' sequences touch, so a compromised or careless caller cannot
 * reprogram the rest of the machine (disk controllers, the keyboard
 * controller's reset line, PCI devices, the chipset's other GPIO and power
 * management registers).
 *
 * A row admits an access that starts at one of its ports with one of its
 * widths and directions: a 16-bit row at 0x500 serves the word 0x500-0x501,
 * and says nothing about a byte access to 0x501.
 */
#include "driver/PortAllowList.h"

#define WIDTH_8 1
#define WIDTH_16 2
#define WIDTH_32 4
#define READ PORT_ACCESS_READ
#define WRITE PORT_ACCESS_WRITE
#define BOTH_WAYS (PORT_ACCESS_READ | PORT_ACCESS_WRITE)

typedef struct PortRange {
    unsigned short first;
    unsigned short last;
    unsigned char widths;
    unsigned char directions;
} PortRange;

static const PortRange g_allowed[] = {
    /* ITE IT87 Super I/O index (written only) and data: Q35, D525-NEXCOM,
     * H61-LANXUS, D525-LANXUS. */
    {0x2E, 0x2E, WIDTH_8, WRITE},
    {0x2F, 0x2F, WIDTH_8, BOTH_WAYS},
    /* MSI Super I/O index (written only) and data: G41-MS, 945GM-MS,
     * 945GC-MS, D525-MS, H61-MS. */
    {0x4E, 0x4E, WIDTH_8, WRITE},
    {0x4F, 0x4F, WIDTH_8, BOTH_WAYS},
    /* MSI board logic driving the relays: 945GM-MS, 945GC-MS. */
    {0x5E, 0x5E, WIDTH_8, BOTH_WAYS},
    /* Bus pause written between GPIO strobes: H61-LANXUS. */
    {0xED, 0xED, WIDTH_8, WRITE},
    /* Watchdog and relay logic: G41-NEXCOM, D525-NEXCOM (0xF2, 0xF3), 1045 (0xF2). */
    {0xF2, 0xF3, WIDTH_8, BOTH_WAYS},
    /* ICH GPIO block at 0x480, level bytes of lines 0-31 (0x48C, 0x48D,
     * 0x48F) and 32-47 (0x4B8, 0x4B9): G41-MS, D525-MS. */
    {0x48C, 0x48D, WIDTH_8, BOTH_WAYS},
    {0x48F, 0x48F, WIDTH_8, BOTH_WAYS},
    {0x4B8, 0x4B9, WIDTH_8, BOTH_WAYS},
    /* PCH GPIO block at 0x500: use select, direction and level of lines
     * 0-15 (words at 0x500, 0x504, 0x50C, their high bytes alone) and 32-47
     * (0x530, 0x534, 0x538): H61-LANXUS, H61-MS. */
    {0x500, 0x500, WIDTH_16, BOTH_WAYS},
    {0x501, 0x501, WIDTH_8, BOTH_WAYS},
    {0x504, 0x504, WIDTH_16, BOTH_WAYS},
    {0x505, 0x505, WIDTH_8, BOTH_WAYS},
    {0x50C, 0x50C, WIDTH_16, BOTH_WAYS},
    {0x50D, 0x50D, WIDTH_8, BOTH_WAYS},
    {0x530, 0x530, WIDTH_16, BOTH_WAYS},
    {0x531, 0x531, WIDTH_8, BOTH_WAYS},
    {0x534, 0x534, WIDTH_16, BOTH_WAYS},
    {0x535, 0x535, WIDTH_8, BOTH_WAYS},
    {0x538, 0x538, WIDTH_16, BOTH_WAYS},
    {0x539, 0x539, WIDTH_8, BOTH_WAYS},
    /* GPIO bytes of the D525-LW board. */
    {0x801, 0x801, WIDTH_8, BOTH_WAYS},
    {0x803, 0x804, WIDTH_8, BOTH_WAYS},
    /* ITE Super I/O GPIO set holding the watchdog pulse pin: Q35. */
    {0xA21, 0xA21, WIDTH_8, BOTH_WAYS},
    /* ICH GPIO block at 0x1180: use select, direction and level bytes of
     * lines 8-15 and 24-31, use select and direction of lines 40-47:
     * D525-LANXUS. */
    {0x1181, 0x1181, WIDTH_8, BOTH_WAYS},
    {0x1183, 0x1183, WIDTH_8, BOTH_WAYS},
    {0x1185, 0x1185, WIDTH_8, BOTH_WAYS},
    {0x1187, 0x1187, WIDTH_8, BOTH_WAYS},
    {0x118D, 0x118D, WIDTH_8, BOTH_WAYS},
    {0x11B1, 0x11B1, WIDTH_8, BOTH_WAYS},
    {0x11B5, 0x11B5, WIDTH_8, BOTH_WAYS},
    /* PCI configuration: the address (of the values PciAddressServed
     * takes) and its dword, read only: MB8756. */
    {PCI_ADDRESS_PORT, PCI_ADDRESS_PORT, WIDTH_32, WRITE},
    {PCI_DATA_PORT, PCI_DATA_PORT, WIDTH_32, READ},
};

/* The SMBus host controller's registers that the MB8756 tool uses, as
 * offsets from its I/O base: host status (cleared by writing it back),
 * host control (read for the kill of a hung transaction), then the
 * command, slave address and data registers, written only. */
static const PortRange g_smbusRegisters[] = {
    {0, 0, WIDTH_8, BOTH_WAYS},
    {2, 2, WIDTH_8, BOTH_WAYS},
    {3, 5, WIDTH_8, WRITE},
};

#define ROWS(table) (sizeof table / sizeof table[0])

static unsigned char WidthBit(unsigned width)
{
    return width == 8 ? WIDTH_8 : width == 16 ? WIDTH_16 : width == 32 ? WIDTH_32 : 0;
}

static int InTable(
    const PortRange* rows, unsigned count, unsigned long port, unsigned width, int direction)
{
    unsigned i;
    for (i = 0; i < count; ++i)
        if (port >= rows[i].first && port <= rows[i].last && (rows[i].widths & WidthBit(width))
            && (rows[i].directions & direction) == direction)
            return 1;
    return 0;
}

static int InSmbusWindow(unsigned short port, unsigned width, int direction, unsigned short base)
{
    return base != 0 && port >= base
        && InTable(g_smbusRegisters, ROWS(g_smbusRegisters), port - base, width, direction);
}

int PortAccessAllowed(unsigned short port, unsigned width, int direction, unsigned long value,
    const PortPlatform* platform)
{
    if (port == PCI_ADDRESS_PORT && !PciAddressServed(value))
        return 0;
    return InTable(g_allowed, ROWS(g_allowed), port, width, direction)
        || InSmbusWindow(port, width, direction, platform->smbusBase);
}

int PciAddressServed(unsigned long address)
{
    return address == SMBUS_CLASS_ADDRESS || address == SMBUS_BASE_ADDRESS;
}

/* An I/O window of the SMBus controller lies above the legacy ISA range
 * and below 64 KiB; a base address register with its upper half set, or
 * pointing among the legacy devices, is not taken. */
#define SMBUS_LOWEST_BASE 0x1000ul
#define SMBUS_HIGHEST_BASE 0xFFE0ul

static int IsSmbusClass(unsigned long classRegister)
{
    /* All ones: no function answers at that address. */
    return classRegister != 0xFFFFFFFFul && (classRegister & 0xFFFF0000ul) == 0x0C050000ul;
}

unsigned short SmbusBaseFromConfig(unsigned long classRegister, unsigned long baseRegister)
{
    /* Bit 0 of the base address register marks an I/O space window; a
     * memory window has no ports to serve. */
    unsigned long base = baseRegister & ~1ul;
    if (!IsSmbusClass(classRegister) || !(baseRegister & 1) || base < SMBUS_LOWEST_BASE
        || base > SMBUS_HIGHEST_BASE)
        return 0;
    return (unsigned short)base;
}
