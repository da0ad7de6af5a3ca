#include "portio/PortBackend.h"

namespace bypass {
namespace {
PortBackend* g_currentBackend = nullptr;
} // namespace

PortBackend& CurrentPortBackend()
{
    return g_currentBackend ? *g_currentBackend : PlatformPortBackend();
}

PortBackend* SetPortBackend(PortBackend* backend)
{
    PortBackend* previous = g_currentBackend;
    g_currentBackend = backend;
    return previous;
}

} // namespace bypass

using bypass::CurrentPortBackend;

int OpenPortDriver() { return CurrentPortBackend().Open(); }
void ClosePortDriver() { CurrentPortBackend().Close(); }
std::uint8_t inportb(std::uint16_t port) { return CurrentPortBackend().In8(port); }
void outportb(std::uint16_t port, std::uint8_t value) { CurrentPortBackend().Out8(port, value); }
std::uint16_t inportw(std::uint16_t port) { return CurrentPortBackend().In16(port); }
void outportw(std::uint16_t port, std::uint16_t value) { CurrentPortBackend().Out16(port, value); }
std::uint32_t inportl(std::uint32_t port) { return CurrentPortBackend().In32(port); }
void outportl(std::uint32_t port, std::uint32_t value) { CurrentPortBackend().Out32(port, value); }
void SleepMs(unsigned ms) { CurrentPortBackend().SleepMs(ms); }
