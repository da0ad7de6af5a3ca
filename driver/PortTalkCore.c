/* The PortTalk device's request handling, shared by every host of the
 * driver. Each control code has one fixed layout (see PortTalkProtocol.h);
 * a request is checked against it, then against the allow-list, and only
 * then reaches the host's ports. No port is touched by a request that is
 * refused for any reason.
 *
 * PCI configuration mechanism 1 is emulated per handle: the address a
 * client writes to 0xCF8 is kept with its handle, never written to the
 * port, and its read of 0xCFC is answered through the platform's own
 * serialised configuration access. Two clients, the firmware or the
 * operating system can then not change each other's selected address
 * between the two requests.
 */
#include "driver/PortTalkCore.h"

/* One control code's request: its sizes and the access it names. */
typedef struct RequestShape {
    unsigned long code;
    unsigned long inSize;
    unsigned long outSize;
    unsigned width;
    int direction;
} RequestShape;

static const RequestShape g_shapes[] = {
    {PORTTALK_READ_UCHAR, PORTTALK_READ_UCHAR_IN, PORTTALK_READ_UCHAR_OUT, 8, PORT_ACCESS_READ},
    {PORTTALK_WRITE_UCHAR, PORTTALK_WRITE_UCHAR_IN, 0, 8, PORT_ACCESS_WRITE},
    {PORTTALK_READ_USHORT, PORTTALK_READ_USHORT_IN, PORTTALK_READ_USHORT_OUT, 16, PORT_ACCESS_READ},
    {PORTTALK_WRITE_USHORT, PORTTALK_WRITE_USHORT_IN, 0, 16, PORT_ACCESS_WRITE},
    {PORTTALK_READ_ULONG, PORTTALK_READ_ULONG_IN, PORTTALK_READ_ULONG_OUT, 32, PORT_ACCESS_READ},
    {PORTTALK_WRITE_ULONG, PORTTALK_WRITE_ULONG_IN, 0, 32, PORT_ACCESS_WRITE},
};

#define SHAPE_COUNT (sizeof g_shapes / sizeof g_shapes[0])

static unsigned short GetLe16(const unsigned char* at)
{
    return (unsigned short)(at[0] | (at[1] << 8));
}

static unsigned long GetLe32(const unsigned char* at)
{
    return GetLe16(at) | ((unsigned long)GetLe16(at + 2) << 16);
}

static void PutLe16(unsigned char* at, unsigned short value)
{
    at[0] = (unsigned char)value;
    at[1] = (unsigned char)(value >> 8);
}

static void PutLe32(unsigned char* at, unsigned long value)
{
    PutLe16(at, (unsigned short)value);
    PutLe16(at + 2, (unsigned short)(value >> 16));
}

static const RequestShape* ShapeOf(unsigned long code)
{
    unsigned i;
    for (i = 0; i < SHAPE_COUNT; ++i)
        if (g_shapes[i].code == code)
            return &g_shapes[i];
    return 0;
}

/* The 32-bit requests carry the port in four bytes, the others in two. */
static unsigned long PortOf(const RequestShape* shape, const unsigned char* buffer)
{
    return shape->width == 32 ? GetLe32(buffer) : GetLe16(buffer);
}

static unsigned long ValueOf(const RequestShape* shape, const unsigned char* buffer)
{
    if (shape->direction == PORT_ACCESS_READ)
        return 0;
    if (shape->width == 8)
        return buffer[PORTTALK_VALUE_OFFSET];
    if (shape->width == 16)
        return GetLe16(buffer + PORTTALK_VALUE_OFFSET);
    return GetLe32(buffer + PORTTALK_VALUE_OFFSET_ULONG);
}

/* The sizes must be exactly the layout's, and the I/O space ends at 0xFFFF. */
static int FitsShape(const RequestShape* shape, const unsigned char* buffer, unsigned long inSize,
    unsigned long outSize)
{
    return inSize == shape->inSize && outSize == shape->outSize && PortOf(shape, buffer) <= 0xFFFF;
}

static PortTalkOutcome ReadConfigData(
    const PortTalkPorts* ports, const PortTalkHandle* handle, unsigned char* buffer)
{
    /* A handle that selected no address, or none the device serves, has
     * nothing to read. */
    if (!PciAddressServed(handle->configAddress))
        return PORTTALK_REFUSED;
    PutLe32(buffer, ports->pciConfigRead32(ports->context, handle->configAddress));
    return PORTTALK_DONE;
}

static PortTalkOutcome Read(const PortTalkPorts* ports, const PortTalkHandle* handle,
    unsigned width, unsigned short port, unsigned char* buffer, unsigned long* answered)
{
    if (width == 8) {
        buffer[0] = ports->read8(ports->context, port);
        *answered = 1;
        return PORTTALK_DONE;
    }
    if (width == 16) {
        PutLe16(buffer, ports->read16(ports->context, port));
        *answered = 2;
        return PORTTALK_DONE;
    }
    if (port == PCI_DATA_PORT) {
        PortTalkOutcome outcome = ReadConfigData(ports, handle, buffer);
        *answered = outcome == PORTTALK_DONE ? 4 : 0;
        return outcome;
    }
    PutLe32(buffer, ports->read32(ports->context, port));
    *answered = 4;
    return PORTTALK_DONE;
}

static void Write(const PortTalkPorts* ports, PortTalkHandle* handle, unsigned width,
    unsigned short port, unsigned long value)
{
    if (width == 8)
        ports->write8(ports->context, port, (unsigned char)value);
    else if (width == 16)
        ports->write16(ports->context, port, (unsigned short)value);
    else if (port == PCI_ADDRESS_PORT)
        handle->configAddress = value;
    else
        ports->write32(ports->context, port, value);
}

void PortTalkLearnPlatform(PortPlatform* platform, const PortTalkPorts* ports)
{
    unsigned long classRegister = ports->pciConfigRead32(ports->context, SMBUS_CLASS_ADDRESS);
    unsigned long baseRegister = ports->pciConfigRead32(ports->context, SMBUS_BASE_ADDRESS);
    platform->smbusBase = SmbusBaseFromConfig(classRegister, baseRegister);
}

void PortTalkOpenHandle(PortTalkHandle* handle) { handle->configAddress = 0; }

PortTalkOutcome PortTalkServe(const PortPlatform* platform, const PortTalkPorts* ports,
    PortTalkHandle* handle, unsigned long code, unsigned char* buffer, unsigned long inSize,
    unsigned long outSize, unsigned long* answered)
{
    const RequestShape* shape = ShapeOf(code);
    unsigned short port;
    unsigned long value;
    *answered = 0;
    if (!shape)
        return PORTTALK_UNKNOWN_REQUEST;
    if (!FitsShape(shape, buffer, inSize, outSize))
        return PORTTALK_MALFORMED;
    port = (unsigned short)PortOf(shape, buffer);
    value = ValueOf(shape, buffer);
    if (!PortAccessAllowed(port, shape->width, shape->direction, value, platform))
        return PORTTALK_REFUSED;
    if (shape->direction == PORT_ACCESS_READ)
        return Read(ports, handle, shape->width, port, buffer, answered);
    Write(ports, handle, shape->width, port, value);
    return PORTTALK_DONE;
}
