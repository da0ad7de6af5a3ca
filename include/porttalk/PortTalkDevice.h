/* The PortTalk device of the Linux kernel module: how the requests of
 * PortTalkProtocol.h travel through ioctl.
 *
 *   fd = open(PORTTALK_DEVICE_PATH, O_RDWR);
 *   ioctl(fd, PORTTALK_READ_UCHAR, buffer);
 *
 * The command number is the request's control code, unchanged. The argument
 * points at one buffer laid out as the request (see PortTalkProtocol.h) and
 * large enough for its answer too: the device copies in the code's input
 * size, and a read copies its answer back over the start of the same
 * buffer. ioctl carries no sizes of its own, so the sizes are those fixed
 * for each code below; a code's size field in the Linux ioctl encoding
 * means nothing here.
 *
 * ioctl answers 0 when the access was made, and -1 with errno:
 *   EPERM   the allow-list does not admit the access (no port was touched);
 *   EINVAL  a 32-bit request names a port above 0xFFFF;
 *   ENOTTY  not a PortTalk request code;
 *   EFAULT  the buffer is not readable, or a read's answer not writable.
 * Opening the node is the permission: it is root:bypassctl 0660.
 */
#pragma once

#include "porttalk/PortTalkProtocol.h"

#define PORTTALK_DEVICE_PATH "/dev/porttalk"
/* The node's name below /dev, as the kernel registers it. */
#define PORTTALK_DEVICE_NAME "porttalk"

/* The largest buffer any request needs (input or answer). */
#define PORTTALK_DEVICE_BUFFER 16

/* The input and answer sizes of the request a code names; 0 when the code
 * is not a PortTalk request. */
static inline int PortTalkDeviceSizes(
    unsigned long code, unsigned long* inSize, unsigned long* outSize)
{
    static const struct {
        unsigned long code, inSize, outSize;
    } sizes[] = {
        {PORTTALK_READ_UCHAR, PORTTALK_READ_UCHAR_IN, PORTTALK_READ_UCHAR_OUT},
        {PORTTALK_WRITE_UCHAR, PORTTALK_WRITE_UCHAR_IN, 0},
        {PORTTALK_READ_USHORT, PORTTALK_READ_USHORT_IN, PORTTALK_READ_USHORT_OUT},
        {PORTTALK_WRITE_USHORT, PORTTALK_WRITE_USHORT_IN, 0},
        {PORTTALK_READ_ULONG, PORTTALK_READ_ULONG_IN, PORTTALK_READ_ULONG_OUT},
        {PORTTALK_WRITE_ULONG, PORTTALK_WRITE_ULONG_IN, 0},
    };
    unsigned i;
    for (i = 0; i < sizeof sizes / sizeof sizes[0]; ++i)
        if (sizes[i].code == code) {
            *inSize = sizes[i].inSize;
            *outSize = sizes[i].outSize;
            return 1;
        }
    return 0;
}
