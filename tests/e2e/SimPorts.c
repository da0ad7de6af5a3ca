/* A simulated x86 I/O port space behind the PortTalk device, for tests.
 *
 * Reads are scripted per port: queued answers are used up in order, and a
 * port without one answers all ones, as a floating bus does. Every access,
 * and every open and close of the PortTalk device, is appended to a trace
 * that a test fetches through the control device "\\.\PortTalkSim".
 *
 * A configuration read goes on the simulated bus as the platform performs
 * it, address to 0xCF8 and a dword from 0xCFC in one locked step; the dword
 * comes from a scripted read of 0xCFC when one is queued, otherwise from
 * the simulated configuration space below.
 *
 * Wine's winedevice dispatches requests on more than one thread, so every
 * request takes the state's lock for the whole of its effect.
 */
#include "driver/PortAccess.h"
#include "driver/PortAllowList.h"
#include "tests/e2e/SimControl.h"

#define SCRIPT_CAPACITY 4096

static SimScriptedRead g_script[SCRIPT_CAPACITY];
static BOOLEAN g_scriptUsed[SCRIPT_CAPACITY];
static ULONG g_scriptCount;
static SimTraceEntry g_trace[SIM_TRACE_CAPACITY];
static ULONG g_traceCount;
static SimCounts g_counts;
static KSPIN_LOCK g_lock;

static PDEVICE_OBJECT g_controlDevice;
static UNICODE_STRING g_controlName = RTL_CONSTANT_STRING(L"\\Device\\PortTalkSim");
static UNICODE_STRING g_controlLink = RTL_CONSTANT_STRING(L"\\DosDevices\\PortTalkSim");

static KIRQL Lock(void)
{
    KIRQL previous;
    KeAcquireSpinLock(&g_lock, &previous);
    return previous;
}

static void Unlock(KIRQL previous) { KeReleaseSpinLock(&g_lock, previous); }

static void Record(UCHAR event, UCHAR width, USHORT port, ULONG value)
{
    SimTraceEntry* entry;
    if (g_traceCount == SIM_TRACE_CAPACITY)
        return;
    entry = &g_trace[g_traceCount++];
    entry->event = event;
    entry->width = width;
    entry->port = port;
    entry->value = value;
}

static void Reset(void)
{
    g_scriptCount = 0;
    g_traceCount = 0;
    g_counts.opens = g_counts.closes = 0;
}

static ULONG WidthMask(UCHAR width) { return width == 32 ? 0xFFFFFFFFul : (1ul << width) - 1; }

/* The next scripted answer for port, used up; value stays when none is
 * queued. */
static void TakeScripted(USHORT port, UCHAR width, ULONG* value)
{
    ULONG i;
    for (i = 0; i < g_scriptCount; ++i) {
        if (!g_scriptUsed[i] && g_script[i].port == port) {
            g_scriptUsed[i] = TRUE;
            *value = g_script[i].value & WidthMask(width);
            return;
        }
    }
}

static ULONG Read(USHORT port, UCHAR width)
{
    KIRQL previous = Lock();
    ULONG value = WidthMask(width);
    TakeScripted(port, width, &value);
    Record(SIM_EVENT_READ, width, port, value);
    Unlock(previous);
    return value;
}

static void Write(USHORT port, UCHAR width, ULONG value)
{
    KIRQL previous = Lock();
    Record(SIM_EVENT_WRITE, width, port, value);
    Unlock(previous);
}

/* The chipset the simulated appliance has: an SMBus host controller at
 * 0/31/3 (class 0x0C05) with its I/O window at 0xF000. */
static ULONG ConfigDword(ULONG address)
{
    if (address == SMBUS_CLASS_ADDRESS)
        return 0x0C050000ul;
    return address == SMBUS_BASE_ADDRESS ? 0x0000F001ul : 0xFFFFFFFFul;
}

static UCHAR Read8(void* context, USHORT port)
{
    (void)context;
    return (UCHAR)Read(port, 8);
}

static USHORT Read16(void* context, USHORT port)
{
    (void)context;
    return (USHORT)Read(port, 16);
}

static ULONG Read32(void* context, USHORT port)
{
    (void)context;
    return Read(port, 32);
}

static void Write8(void* context, USHORT port, UCHAR value)
{
    (void)context;
    Write(port, 8, value);
}

static void Write16(void* context, USHORT port, USHORT value)
{
    (void)context;
    Write(port, 16, value);
}

static void Write32(void* context, USHORT port, ULONG value)
{
    (void)context;
    Write(port, 32, value);
}

static ULONG PciConfigRead32(void* context, ULONG address)
{
    KIRQL previous = Lock();
    ULONG value = ConfigDword(address);
    (void)context;
    TakeScripted(PCI_DATA_PORT, 32, &value);
    Record(SIM_EVENT_WRITE, 32, PCI_ADDRESS_PORT, address);
    Record(SIM_EVENT_READ, 32, PCI_DATA_PORT, value);
    Unlock(previous);
    return value;
}

const PortTalkPorts g_hostPorts
    = {NULL, Read8, Read16, Read32, Write8, Write16, Write32, PciConfigRead32};

void PortAccessDeviceOpened(void)
{
    KIRQL previous = Lock();
    ++g_counts.opens;
    ++g_counts.openNow;
    Record(SIM_EVENT_OPEN, 0, 0, 0);
    Unlock(previous);
}

void PortAccessDeviceClosed(void)
{
    KIRQL previous = Lock();
    ++g_counts.closes;
    --g_counts.openNow;
    Record(SIM_EVENT_CLOSE, 0, 0, 0);
    Unlock(previous);
}

static NTSTATUS AddScriptedReads(const SimScriptedRead* reads, ULONG size)
{
    ULONG count = size / sizeof *reads;
    ULONG i;
    if (size % sizeof *reads || count > SCRIPT_CAPACITY - g_scriptCount)
        return STATUS_INVALID_PARAMETER;
    for (i = 0; i < count; ++i) {
        g_script[g_scriptCount] = reads[i];
        g_scriptUsed[g_scriptCount++] = FALSE;
    }
    return STATUS_SUCCESS;
}

static NTSTATUS CopyOut(
    void* buffer, ULONG outSize, const void* data, ULONG size, ULONG_PTR* answered)
{
    if (outSize < size)
        return STATUS_BUFFER_TOO_SMALL;
    RtlCopyMemory(buffer, data, size);
    *answered = size;
    return STATUS_SUCCESS;
}

static NTSTATUS ServeControl(
    ULONG code, void* buffer, ULONG inSize, ULONG outSize, ULONG_PTR* answered)
{
    *answered = 0;
    switch (code) {
    case SIM_RESET:
        Reset();
        return STATUS_SUCCESS;
    case SIM_SCRIPT_READS:
        return AddScriptedReads(buffer, inSize);
    case SIM_FETCH_TRACE:
        return CopyOut(buffer, outSize, g_trace, g_traceCount * sizeof *g_trace, answered);
    case SIM_FETCH_COUNTS:
        return CopyOut(buffer, outSize, &g_counts, sizeof g_counts, answered);
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

NTSTATUS PortAccessOwnDeviceRequest(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR answered = 0;
    KIRQL previous;
    (void)device;
    previous = Lock();
    if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL)
        status = ServeControl(stack->Parameters.DeviceIoControl.IoControlCode,
            irp->AssociatedIrp.SystemBuffer, stack->Parameters.DeviceIoControl.InputBufferLength,
            stack->Parameters.DeviceIoControl.OutputBufferLength, &answered);
    Unlock(previous);
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = answered;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS PortAccessStart(PDRIVER_OBJECT driver)
{
    NTSTATUS status = IoCreateDevice(
        driver, 0, &g_controlName, FILE_DEVICE_UNKNOWN, 0, FALSE, &g_controlDevice);
    if (!NT_SUCCESS(status))
        return status;
    status = IoCreateSymbolicLink(&g_controlLink, &g_controlName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(g_controlDevice);
        return status;
    }
    KeInitializeSpinLock(&g_lock);
    Reset();
    return STATUS_SUCCESS;
}

void PortAccessStop(PDRIVER_OBJECT driver)
{
    (void)driver;
    IoDeleteSymbolicLink(&g_controlLink);
    IoDeleteDevice(g_controlDevice);
}
