/* The control device of the simulated PortTalk driver, "\\.\PortTalkSim".
 * Test programs use it to set up the simulated port space and to read back
 * what the library asked of the PortTalk device. The library never opens it.
 * All requests are buffered and carry the structures below.
 */
#pragma once

#if !defined(_NTDDK_) /* the driver has included the kernel headers already */
#include <windows.h>
#include <winioctl.h>
#endif

#define SIM_DEVICE_TYPE 0x9C41
#define SIM_CONTROL(function) CTL_CODE(SIM_DEVICE_TYPE, function, METHOD_BUFFERED, FILE_ANY_ACCESS)

/* No scripted answers, empty trace, counts zero. No buffers. */
#define SIM_RESET SIM_CONTROL(0x900)
/* Input: SimScriptedRead entries, appended to the per-port answer queues. */
#define SIM_SCRIPT_READS SIM_CONTROL(0x901)
/* Output: the SimTraceEntry records so far, oldest first. */
#define SIM_FETCH_TRACE SIM_CONTROL(0x902)
/* Output: one SimCounts. */
#define SIM_FETCH_COUNTS SIM_CONTROL(0x904)

/* The next read of port that finds no earlier answer queued answers value
 * (truncated to the width of the read). */
typedef struct SimScriptedRead {
    unsigned long port;
    unsigned long value;
} SimScriptedRead;

enum SimEvent { SIM_EVENT_WRITE = 0, SIM_EVENT_READ = 1, SIM_EVENT_OPEN = 2, SIM_EVENT_CLOSE = 3 };

/* One access (width 8, 16 or 32; the value written or answered), or an open
 * or close of the PortTalk device (width, port and value 0). */
typedef struct SimTraceEntry {
    unsigned char event;
    unsigned char width;
    unsigned short port;
    unsigned long value;
} SimTraceEntry;

typedef struct SimCounts {
    unsigned long opens;
    unsigned long closes;
    unsigned long openNow; /* handles open now; kept by SIM_RESET */
} SimCounts;

/* The trace holds this many entries; later ones are left out. */
#define SIM_TRACE_CAPACITY 8192
