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

// One access's request: its code and sizes, the width of the port field
// that starts it (32 bits for a 32-bit access), and where a write's value
// goes; a read's answer comes back at the start of the buffer.
struct PortTalkAccess {
    unsigned long code;
    unsigned long inSize;
    unsigned long outSize;
    bool widePort;
    unsigned valueAt; // 0: a read, which sends no value
    const char* what;
};

namespace {

constexpr PortTalkAccess kIn8
    = {PORTTALK_READ_UCHAR, PORTTALK_READ_UCHAR_IN, PORTTALK_READ_UCHAR_OUT, false, 0, "inportb"};
constexpr PortTalkAccess kIn16 = {
    PORTTALK_READ_USHORT, PORTTALK_READ_USHORT_IN, PORTTALK_READ_USHORT_OUT, false, 0, "inportl"};
constexpr PortTalkAccess kIn32
    = {PORTTALK_READ_ULONG, PORTTALK_READ_ULONG_IN, PORTTALK_READ_ULONG_OUT, true, 0, "inportl"};
constexpr PortTalkAccess kOut8
    = {PORTTALK_WRITE_UCHAR, PORTTALK_WRITE_UCHAR_IN, 0, false, PORTTALK_VALUE_OFFSET, "outportb"};
constexpr PortTalkAccess kOut16 = {
    PORTTALK_WRITE_USHORT, PORTTALK_WRITE_USHORT_IN, 0, false, PORTTALK_VALUE_OFFSET, "outportl"};
constexpr PortTalkAccess kOut32 = {PORTTALK_WRITE_ULONG, PORTTALK_WRITE_ULONG_IN, 0, true,
    PORTTALK_VALUE_OFFSET_ULONG, "outportl"};

} // namespace

// The buffer holds the largest request; only the access's own bytes are
// sent, and the bytes past a value's width stay 0.
std::uint32_t PortTalkClient::Transfer(
    const PortTalkAccess& access, std::uint32_t port, std::uint32_t value)
{
    unsigned char buffer[PORTTALK_READ_ULONG_IN] = {};
    if (access.widePort)
        PutLe32(buffer, port);
    else
        PutLe16(buffer, static_cast<std::uint16_t>(port));
    if (access.valueAt != 0)
        PutLe32(buffer + access.valueAt, value);
    Send(access.code, buffer, access.inSize, access.outSize, access.what);
    return GetLe32(buffer);
}

std::uint8_t PortTalkClient::In8(std::uint16_t port)
{
    return static_cast<std::uint8_t>(Transfer(kIn8, port, 0));
}

std::uint16_t PortTalkClient::In16(std::uint16_t port)
{
    return static_cast<std::uint16_t>(Transfer(kIn16, port, 0));
}

std::uint32_t PortTalkClient::In32(std::uint32_t port) { return Transfer(kIn32, port, 0); }

void PortTalkClient::Out8(std::uint16_t port, std::uint8_t value) { Transfer(kOut8, port, value); }

void PortTalkClient::Out16(std::uint16_t port, std::uint16_t value)
{
    Transfer(kOut16, port, value);
}

void PortTalkClient::Out32(std::uint32_t port, std::uint32_t value)
{
    Transfer(kOut32, port, value);
}

} // namespace bypass
