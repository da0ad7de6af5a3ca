// Talks to PortTalk.sys itself, the driver that does real port I/O, with
// requests that it must refuse before touching a port: the only ones that
// are safe to send where its port instructions cannot run (under Wine, a
// user-mode process). Prints one line per request and the number of
// answers that differed from the expected ones.
#include <windows.h>

#include <cstdio>

namespace {

struct Refused {
    const char* what;
    DWORD code, inSize, outSize;
    unsigned char request[16];
    DWORD error; // expected last error
};

// The driver decides each of them from its table alone; even the SMBus
// controller's window was read once at start, through the HAL.
const Refused kRefused[] = {
    {"out8 80 (port not listed)", 0x9C402414, 3, 0, {0x80, 0, 0x55}, ERROR_ACCESS_DENIED},
    {"in32 CFC (no address selected)", 0x9C402418, 16, 16, {0xFC, 0x0C}, ERROR_ACCESS_DENIED},
    {"out32 80 (port not listed)", 0x9C40241C, 16, 0, {0x80, 0, 0, 0, 1}, ERROR_ACCESS_DENIED},
    {"out32 CF8 80000000 (other PCI function)", 0x9C40241C, 16, 0,
        {0xF8, 0x0C, 0, 0, 0, 0, 0, 0x80}, ERROR_ACCESS_DENIED},
    {"in16 2E (Super I/O takes bytes)", 0x9C402424, 8, 8, {0x2E}, ERROR_ACCESS_DENIED},
    {"in8 with a 3-byte request", 0x9C402410, 3, 1, {0x2E}, ERROR_INVALID_PARAMETER},
    {"unknown control code", 0x9C402420, 2, 1, {0x2E}, ERROR_INVALID_FUNCTION},
};

} // namespace

int main()
{
    // The simulated driver owns the same device name; its control device
    // would show that it, not PortTalk.sys, is answering.
    HANDLE sim = CreateFileA("\\\\.\\PortTalkSim", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (sim != INVALID_HANDLE_VALUE) {
        std::printf("the simulated driver is loaded\n");
        return 1;
    }
    HANDLE device = CreateFileA(
        "\\\\.\\PortTalk", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        std::printf("open \\\\.\\PortTalk failed: %lu\n", GetLastError());
        return 1;
    }
    int wrong = 0;
    for (const Refused& request : kRefused) {
        unsigned char buffer[16];
        CopyMemory(buffer, request.request, sizeof buffer);
        DWORD returned = 0;
        const BOOL done = DeviceIoControl(device, request.code, buffer, request.inSize,
            request.outSize ? buffer : nullptr, request.outSize, &returned, nullptr);
        const DWORD error = done ? 0 : GetLastError();
        const bool expected = !done && error == request.error;
        wrong += !expected;
        std::printf("%s: %s (error %lu)\n", request.what, expected ? "refused" : "WRONG", error);
    }
    CloseHandle(device);
    const HANDLE below = CreateFileA("\\\\.\\PortTalk\\x", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    wrong += below != INVALID_HANDLE_VALUE;
    std::printf("open below the device: %s\n", below == INVALID_HANDLE_VALUE ? "refused" : "WRONG");
    std::printf("%d wrong\n", wrong);
    return wrong ? 1 : 0;
}
