/* The PortTalk device's request handling, shared by every host of the
 * driver: PortTalk.sys on Windows, the simulated driver under Wine, the
 * virtual appliance's socket and the Linux kernel module.
 *
 * Plain C with no system header. A host receives a request (a control code
 * and one buffer that carries the input and takes the answer), hands it to
 * PortTalkServe with the state of the handle it came through, and passes
 * the outcome back in its own terms (an NTSTATUS, an errno, a socket
 * answer). The core checks the request's shape, asks the allow-list, and
 * reaches the ports only through the host's PortTalkPorts.
 */
#pragma once

#include "driver/PortAllowList.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The port space a host serves: real ports, a model, a script. Each
 * function gets the host's context. */
typedef struct PortTalkPorts {
    void* context;
    unsigned char (*read8)(void* context, unsigned short port);
    unsigned short (*read16)(void* context, unsigned short port);
    unsigned long (*read32)(void* context, unsigned short port);
    void (*write8)(void* context, unsigned short port, unsigned char value);
    void (*write16)(void* context, unsigned short port, unsigned short value);
    void (*write32)(void* context, unsigned short port, unsigned long value);
    /* The dword at a configuration address in the form a client writes to
     * 0xCF8, read through the platform's own serialised configuration
     * access (never a raw 0xCF8/0xCFC cycle); all ones when no function
     * answers. */
    unsigned long (*pciConfigRead32)(void* context, unsigned long address);
} PortTalkPorts;

/* What one open handle of the device holds between its requests: the PCI
 * configuration address it selected, which is never written to 0xCF8. */
typedef struct PortTalkHandle {
    unsigned long configAddress;
} PortTalkHandle;

typedef enum PortTalkOutcome {
    PORTTALK_DONE = 0,
    /* A control code the device does not know (STATUS_INVALID_DEVICE_REQUEST). */
    PORTTALK_UNKNOWN_REQUEST,
    /* Sizes that do not fit the code's layout, or a port above 0xFFFF
     * (STATUS_INVALID_PARAMETER); no port was touched. */
    PORTTALK_MALFORMED,
    /* An access the allow-list does not admit (STATUS_ACCESS_DENIED); no
     * port was touched. */
    PORTTALK_REFUSED
} PortTalkOutcome;

/* Learns what the allow-list needs of the machine (the SMBus controller's
 * window) through ports->pciConfigRead32. A host calls it once, before it
 * serves its first request. */
void PortTalkLearnPlatform(PortPlatform* platform, const PortTalkPorts* ports);

/* A handle's state when it is opened. */
void PortTalkOpenHandle(PortTalkHandle* handle);

/* Serves one request. buffer holds inSize bytes of input and has room for
 * outSize bytes of answer (the same buffer, as METHOD_BUFFERED has it);
 * *answered is set to the bytes of answer, 0 unless PORTTALK_DONE. */
PortTalkOutcome PortTalkServe(const PortPlatform* platform, const PortTalkPorts* ports,
    PortTalkHandle* handle, unsigned long code, unsigned char* buffer, unsigned long inSize,
    unsigned long outSize, unsigned long* answered);

#ifdef __cplusplus
}
#endif
