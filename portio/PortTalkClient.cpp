#include "portio/PortTalkClient.h"

#include <cstdio>

namespace bypass {

void PutLe16(unsigned char* at, std::uint16_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void PutLe32(unsigned char* at, std::uint32_t value)
{
    PutLe16(at, static_cast<std::uint16_t>(value));
    PutLe16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t GetLe16(const unsigned char* at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t GetLe32(const unsigned char* at)
{
    return GetLe16(at) | (static_cast<std::uint32_t>(GetLe16(at + 2)) << 16);
}

// A read passes the same buffer for its answer, so a failed read leaves the
// request bytes in place for its caller to return.
void PortTalkClient::Send(unsigned long code, unsigned char* buffer, unsigned long inSize,
    unsigned long outSize, const char* what)
{
    if (m_transport.Send(code, buffer, inSize, outSize))
        return;
    std::printf("Error occured during %s while talking to PortTalk driver %d\n", what,
        static_cast<int>(m_transport.LastError()));
    ++m_failed;
}

std::uint8_t PortTalkClient::In8(std::uint16_t port)
{
    unsigned char buffer[PORTTALK_READ_UCHAR_IN];
    PutLe16(buffer, port);
    Send(PORTTALK_READ_UCHAR, buffer, PORTTALK_READ_UCHAR_IN, PORTTALK_READ_UCHAR_OUT, "inportb");
    return buffer[0];
}

void PortTalkClient::Out8(std::uint16_t port, std::uint8_t value)
{
    unsigned char buffer[PORTTALK_WRITE_UCHAR_IN];
    PutLe16(buffer, port);
    buffer[PORTTALK_VALUE_OFFSET] = value;
    Send(PORTTALK_WRITE_UCHAR, buffer, PORTTALK_WRITE_UCHAR_IN, 0, "outportb");
}

std::uint16_t PortTalkClient::In16(std::uint16_t port)
{
    unsigned char buffer[PORTTALK_READ_USHORT_IN] = {};
    PutLe16(buffer, port);
    Send(
        PORTTALK_READ_USHORT, buffer, PORTTALK_READ_USHORT_IN, PORTTALK_READ_USHORT_OUT, "inportl");
    return GetLe16(buffer);
}

void PortTalkClient::Out16(std::uint16_t port, std::uint16_t value)
{
    unsigned char buffer[PORTTALK_WRITE_USHORT_IN] = {};
    PutLe16(buffer, port);
    PutLe16(buffer + PORTTALK_VALUE_OFFSET, value);
    Send(PORTTALK_WRITE_USHORT, buffer, PORTTALK_WRITE_USHORT_IN, 0, "outportl");
}

std::uint32_t PortTalkClient::In32(std::uint32_t port)
{
    unsigned char buffer[PORTTALK_READ_ULONG_IN] = {};
    PutLe32(buffer, port);
    Send(PORTTALK_READ_ULONG, buffer, PORTTALK_READ_ULONG_IN, PORTTALK_READ_ULONG_OUT, "inportl");
    return GetLe32(buffer);
}

void PortTalkClient::Out32(std::uint32_t port, std::uint32_t value)
{
    unsigned char buffer[PORTTALK_WRITE_ULONG_IN] = {};
    PutLe32(buffer, port);
    PutLe32(buffer + PORTTALK_VALUE_OFFSET_ULONG, value);
    Send(PORTTALK_WRITE_ULONG, buffer, PORTTALK_WRITE_ULONG_IN, 0, "outportl");
}

} // namespace bypass
