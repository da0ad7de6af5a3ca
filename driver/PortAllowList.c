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
#include "porttalk/SmbusBase.h"

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
 * offsets from its I/O base, and the values a write may carry. The tool
 * makes one kind of transaction only: a byte-data write to the bypass
 * controller at address 0x37, with the commands it knows. Any other slave
 * (the DIMMs' SPD EEPROMs at 0x50-0x57, whose corruption leaves the machine
 * unable to boot), command or protocol is refused as an unlisted port is.
 *
 * The host status register is written back to clear its bits and the data
 * register takes any byte. The host control register is read for the kill
 * of a hung transaction, which writes back what it read with the kill bit
 * (0x02) set, then cleared: that can be any byte, and the write starts a
 * transaction exactly when its start bit (0x40) is set. So the control
 * register takes the byte-data start 0x48 and every byte without the start
 * bit (an i801 reads the start bit as 0, so the kill never carries it). */
#define HOST_STATUS 0
#define HOST_CONTROL 2
#define HOST_COMMAND 3
#define SLAVE_ADDRESS 4
#define HOST_DATA 5

#define START_BIT 0x40ul
#define START_BYTE_DATA 0x48ul
/* The bypass controller's 7-bit address 0x37 shifted left, bit 0 clear: a write. */
#define BYPASS_CONTROLLER_WRITE 0x6Eul

typedef struct SmbusRegister {
    unsigned char offset;
    unsigned char directions;
    /* Whether a write of value is admitted; null admits any. */
    int (*admitsWrite)(unsigned long value);
} SmbusRegister;

static int StartsNothingOrByteData(unsigned long value)
{
    return value == START_BYTE_DATA || !(value & START_BIT);
}

/* The bypass controller's segment setup (0x10, 0x11), bypass segments
 * (0x12), watchdog seconds (0x22), arm (0x24) and disarm (0x25). */
static int IsBypassCommand(unsigned long value)
{
    return value == 0x10 || value == 0x11 || value == 0x12 || value == 0x22 || value == 0x24
        || value == 0x25;
}

static int IsBypassControllerWrite(unsigned long value) { return value == BYPASS_CONTROLLER_WRITE; }

static const SmbusRegister g_smbusRegisters[] = {
    {HOST_STATUS, BOTH_WAYS, 0},
    {HOST_CONTROL, BOTH_WAYS, StartsNothingOrByteData},
    {HOST_COMMAND, WRITE, IsBypassCommand},
    {SLAVE_ADDRESS, WRITE, IsBypassControllerWrite},
    {HOST_DATA, WRITE, 0},
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

static int InSmbusWindow(
    unsigned short port, unsigned width, int direction, unsigned long value, unsigned short base)
{
    unsigned i;
    if (base == 0 || port < base || width != 8)
        return 0;
    for (i = 0; i < ROWS(g_smbusRegisters); ++i) {
        const SmbusRegister* reg = &g_smbusRegisters[i];
        if (port - base == reg->offset && (reg->directions & direction) == direction)
            return direction == READ || !reg->admitsWrite || reg->admitsWrite(value);
    }
    return 0;
}

int PortAccessAllowed(unsigned short port, unsigned width, int direction, unsigned long value,
    const PortPlatform* platform)
{
    if (port == PCI_ADDRESS_PORT && !PciAddressServed(value))
        return 0;
    return InTable(g_allowed, ROWS(g_allowed), port, width, direction)
        || InSmbusWindow(port, width, direction, value, platform->smbusBase);
}

int PciAddressServed(unsigned long address)
{
    return address == SMBUS_CLASS_ADDRESS || address == SMBUS_BASE_ADDRESS;
}

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
    if (!IsSmbusClass(classRegister) || !(baseRegister & 1) || !SmbusBasePlausible(base))
        return 0;
    return (unsigned short)base;
}
