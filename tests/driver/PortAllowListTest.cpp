// The PortTalk driver's allow-list, compiled as the driver compiles it: which
// accesses it serves, and that it covers every access each board makes.
#include "driver/PortAllowList.h"
#include "boards/BoardTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace {

// Plays the SMBus base address register: answers base and counts the reads.
struct SmbusBase {
    unsigned short base = 0;
    int reads = 0;
    static unsigned short Read(void* context)
    {
        auto* self = static_cast<SmbusBase*>(context);
        ++self->reads;
        return self->base;
    }
};

bool Allowed(const std::string& access, SmbusBase& smbus)
{
    char kind[8] = {};
    unsigned port = 0;
    unsigned long value = 0;
    std::sscanf(access.c_str(), "%7s %x %lx", kind, &port, &value);
    const std::string k = kind;
    const bool write = k.rfind("out", 0) == 0;
    const unsigned width = std::stoi(k.substr(write ? 3 : 2));
    return PortAccessAllowed(static_cast<unsigned short>(port), width,
               write ? PORT_ACCESS_WRITE : PORT_ACCESS_READ, value, &SmbusBase::Read, &smbus)
        != 0;
}

// What the boards need is served (the coverage test below); the table must
// not serve a byte more: the ports just past each row, other widths and
// directions, and the dangerous neighbours.
TEST(PortAllowList, RefusesPortsWidthsAndDirectionsNoBoardUses)
{
    SmbusBase none;
    // The POST code port, the keyboard controller's reset, the system reset
    // and other PCI functions are among them.
    for (const char* refused :
        {"in8 2D", "in8 30", "in16 2E", "out32 4E 0", "in8 5F", "in8 ED", "out8 F1 0", "in8 F4",
            "in8 48B", "in8 4BA", "in16 4B8", "in16 53B", "in32 500", "out8 4FF 0", "in8 53C",
            "in8 800", "in8 805", "in8 A20", "in8 A22", "in8 1180", "in8 11B6", "in16 1181",
            "in8 80", "out8 64 FE", "out8 CF9 6", "out32 CF8 80000000", "out32 CF8 8000FB10",
            "out32 CF8 8000FA20", "in32 CF8", "out32 CFC 0", "in8 CFC", "in16 CFC"})
        EXPECT_FALSE(Allowed(refused, none)) << refused;
}

TEST(PortAllowList, OpensTheSmbusControllerWindowOnlyForBytesAndOnlyWhereItsBaseSays)
{
    SmbusBase smbus{0xF000};
    EXPECT_TRUE(Allowed("out8 F000 FF", smbus));
    EXPECT_TRUE(Allowed("in8 F00F", smbus));
    EXPECT_FALSE(Allowed("in8 F010", smbus));
    EXPECT_FALSE(Allowed("in8 EFFF", smbus));
    EXPECT_EQ(smbus.reads, 4);

    // Listed ports and wider accesses are decided without reading the
    // register, so a refused 16- or 32-bit access never touches the bus.
    smbus.reads = 0;
    EXPECT_TRUE(Allowed("in8 4F", smbus));
    EXPECT_FALSE(Allowed("in16 F000", smbus));
    EXPECT_FALSE(Allowed("out32 F000 0", smbus));
    EXPECT_EQ(smbus.reads, 0);

    SmbusBase none;
    EXPECT_FALSE(Allowed("in8 0", none)) << "no controller must not open ports 0-0xF";

    // The base as the controller's configuration registers give it.
    EXPECT_EQ(SmbusBaseFromConfig(0x0C050002, 0x0000F001), 0xF000);
    EXPECT_EQ(SmbusBaseFromConfig(0x0C050000, 0x1234E041), 0xE040); // bits 16-31 dropped
    EXPECT_EQ(SmbusBaseFromConfig(0x0C050000, 0x0000F000), 0);      // a memory window
    EXPECT_EQ(SmbusBaseFromConfig(0x0C030000, 0x0000F001), 0);      // a USB controller
    EXPECT_EQ(SmbusBaseFromConfig(0xFFFFFFFF, 0x0000F001), 0);      // nothing at 0/31/3
}

// Every port, width and direction of every board (the board table's rows,
// which its own test holds to what the tools really do), with the SMBus
// controller at 0xF000: each must be one the driver serves, or the board
// would fail on a real appliance.
TEST(PortAllowList, ServesEveryAccessOfEveryBoard)
{
    SmbusBase smbus{0xF000};
    for (const bypass::BoardRow& row : bypass::BoardTable()) {
        std::ostringstream refused;
        for (const bypass::PortUse& use : row.ports) {
            const unsigned port = use.port + (use.smbusWindow ? smbus.base : 0);
            for (unsigned width : {1u, 2u, 4u}) {
                for (int direction : {PORT_ACCESS_READ, PORT_ACCESS_WRITE}) {
                    const bool used = (use.widths & width)
                        && (use.directions
                            & (direction == PORT_ACCESS_READ ? bypass::kPortRead
                                                             : bypass::kPortWrite));
                    // the PCI address port takes only the SMBus controller's registers
                    const unsigned long value = port == 0xCF8 ? 0x8000FB20 : 0;
                    if (used
                        && !PortAccessAllowed(static_cast<unsigned short>(port), width * 8,
                            direction, value, &SmbusBase::Read, &smbus))
                        refused << " " << std::hex << port << "/" << width * 8;
                }
            }
        }
        EXPECT_EQ(refused.str(), "") << "type " << row.type << " makes accesses the driver refuses";
    }
}

} // namespace
