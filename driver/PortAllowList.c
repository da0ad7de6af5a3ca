/* The allow-list of the PortTalk device: one row per port range, naming the
 * boards that need it. A generic port driver lets any caller reach any
 * port; this one serves only what the boards' sequences touch, so a
 * compromised or careless caller cannot reprogram the rest of the machine
 * (disk controllers, the keyboard controller's reset line, PCI devices).
 */
#include "driver/PortAllowList.h"

#define WIDTH_8 1
#define WIDTH_16 2
#define WIDTH_32 4
#define BOTH_WAYS (PORT_ACCESS_READ | PORT_ACCESS_WRITE)

typedef struct PortRange {
    unsigned short first;
    unsigned short last;
    unsigned char widths;
    unsigned char directions;
} PortRange;

static const PortRange g_allowed[] = {
    /* ITE IT87 Super I/O index/data: Q35, D525-NEXCOM, D525-LW, H61-LANXUS,
     * D525-LANXUS. */
    {0x2E, 0x2F, WIDTH_8, BOTH_WAYS},
    /* MSI Super I/O index/data: G41-MS, 945GM-MS, 945GC-MS, D525-MS, H61-MS. */
    {0x4E, 0x4F, WIDTH_8, BOTH_WAYS},
    /* MSI board logic driving the relays: 945GM-MS, 945GC-MS. */
    {0x5E, 0x5E, WIDTH_8, BOTH_WAYS},
    /* Bus pause written between GPIO strobes: H61-LANXUS. */
    {0xED, 0xED, WIDTH_8, PORT_ACCESS_WRITE},
    /* Watchdog and relay logic: G41-NEXCOM, D525-NEXCOM (0xF2, 0xF3), 1045 (0xF2). */
    {0xF2, 0xF3, WIDTH_8, BOTH_WAYS},
    /* ICH GPIO block (GPIO base 0x480): G41-MS, D525-MS, Q35 relay latches. */
    {0x48C, 0x4B9, WIDTH_8, BOTH_WAYS},
    /* PCH GPIO block (GPIO base 0x500): H61-LANXUS, H61-MS. */
    {0x500, 0x53B, WIDTH_8 | WIDTH_16, BOTH_WAYS},
    /* GPIO bytes of the D525-LW board. */
    {0x801, 0x804, WIDTH_8, BOTH_WAYS},
    /* ITE Super I/O GPIO set holding the watchdog pulse pin: Q35. */
    {0xA21, 0xA21, WIDTH_8, BOTH_WAYS},
    /* ICH GPIO block (GPIO base 0x1180): D525-LANXUS. */
    {0x1181, 0x11B5, WIDTH_8, BOTH_WAYS},
    /* PCI configuration data: reads only, of the address below (MB8756). */
    {PCI_DATA_PORT, PCI_DATA_PORT + 3, WIDTH_32, PORT_ACCESS_READ},
};

/* The SMBus host controller's registers are bytes; its window is 16 ports. */
#define SMBUS_WINDOW 16

static unsigned char WidthBit(unsigned width)
{
    return width == 8 ? WIDTH_8 : width == 16 ? WIDTH_16 : width == 32 ? WIDTH_32 : 0;
}

/* The whole access, every byte of it, lies in the row. */
static int RowAdmits(const PortRange* row, unsigned short port, unsigned width, int direction)
{
    unsigned long last = (unsigned long)port + width / 8 - 1;
    return port >= row->first && last <= row->last && (row->widths & WidthBit(width))
        && (row->directions & direction) == direction;
}

static int FixedRowAdmits(unsigned short port, unsigned width, int direction)
{
    unsigned i;
    for (i = 0; i < sizeof g_allowed / sizeof g_allowed[0]; ++i)
        if (RowAdmits(&g_allowed[i], port, width, direction))
            return 1;
    return 0;
}

/* Mechanism 1 reaches every PCI function's configuration space; only the
 * two registers of the SMBus controller that the library reads may be
 * selected. */
static int PciAddressAllowed(
    unsigned short port, unsigned width, int direction, unsigned long value)
{
    return port == PCI_ADDRESS_PORT && width == 32 && direction == PORT_ACCESS_WRITE
        && (value == SMBUS_CLASS_ADDRESS || value == SMBUS_BASE_ADDRESS);
}

static int InSmbusWindow(
    unsigned short port, unsigned width, SmbusBaseReader smbusBase, void* context)
{
    unsigned short base;
    if (width != 8)
        return 0;
    base = smbusBase(context);
    return base != 0 && port >= base && (unsigned long)port < (unsigned long)base + SMBUS_WINDOW;
}

int PortAccessAllowed(unsigned short port, unsigned width, int direction, unsigned long value,
    SmbusBaseReader smbusBase, void* context)
{
    return FixedRowAdmits(port, width, direction)
        || PciAddressAllowed(port, width, direction, value)
        || InSmbusWindow(port, width, smbusBase, context);
}

int IsSmbusClass(unsigned long classRegister)
{
    /* All ones: no function answers at that address. */
    return classRegister != 0xFFFFFFFFul && (classRegister & 0xFFFF0000ul) == 0x0C050000ul;
}

unsigned short SmbusBaseFromConfig(unsigned long classRegister, unsigned long baseRegister)
{
    /* Bit 0 of the base address register marks an I/O space window; a
     * memory window has no ports to serve. */
    if (!IsSmbusClass(classRegister) || !(baseRegister & 1))
        return 0;
    return (unsigned short)(baseRegister & 0xFFFE);
}
