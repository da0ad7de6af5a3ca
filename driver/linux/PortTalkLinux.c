// SPDX-License-Identifier: GPL-2.0 OR MIT
/* The PortTalk device on Linux: the misc device /dev/porttalk, a host of the
 * shared request core (driver/PortTalkCore.c) over the real I/O ports.
 *
 * Each ioctl is one request of PortTalkProtocol.h, carried as
 * PortTalkDevice.h describes. Who may send them is decided when the node is
 * opened (root:bypassctl 0660, set by the udev rule); what they may do is
 * decided by the core's allow-list. Nothing is logged per request: a
 * keepalive sends several every few seconds.
 */
#include <linux/fs.h>
#include <linux/io.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/pci.h>
#include <linux/slab.h>
#include <linux/uaccess.h>

#include "driver/PortTalkCore.h"
#include "porttalk/PortTalkDevice.h"

static PortPlatform g_platform;

static unsigned char Read8(void* context, unsigned short port) { return inb(port); }

static unsigned short Read16(void* context, unsigned short port) { return inw(port); }

static unsigned long Read32(void* context, unsigned short port) { return inl(port); }

static void Write8(void* context, unsigned short port, unsigned char value) { outb(value, port); }

static void Write16(void* context, unsigned short port, unsigned short value) { outw(value, port); }

static void Write32(void* context, unsigned short port, unsigned long value)
{
    outl((u32)value, port);
}

/* The 0xCF8 form of the address (enable bit, bus, device and function,
 * register) read through the PCI core, which serialises configuration
 * access with the rest of the kernel and picks the mechanism the firmware
 * offers (ECAM on q35 and later chipsets). */
static unsigned long PciConfigRead32(void* context, unsigned long address)
{
    unsigned int bus = (address >> 16) & 0xFF;
    unsigned int devfn = (address >> 8) & 0xFF;
    struct pci_dev* device = pci_get_domain_bus_and_slot(0, bus, devfn);
    u32 value = 0xFFFFFFFF;

    if (!device)
        return value;
    if (pci_read_config_dword(device, address & 0xFC, &value))
        value = 0xFFFFFFFF;
    pci_dev_put(device);
    return value;
}

static const PortTalkPorts g_ports = {
    .read8 = Read8,
    .read16 = Read16,
    .read32 = Read32,
    .write8 = Write8,
    .write16 = Write16,
    .write32 = Write32,
    .pciConfigRead32 = PciConfigRead32,
};

static int PortTalkOpen(struct inode* inode, struct file* file)
{
    PortTalkHandle* handle = kzalloc(sizeof *handle, GFP_KERNEL);

    if (!handle)
        return -ENOMEM;
    PortTalkOpenHandle(handle);
    file->private_data = handle;
    return 0;
}

static int PortTalkRelease(struct inode* inode, struct file* file)
{
    kfree(file->private_data);
    return 0;
}

static long ErrnoOf(PortTalkOutcome outcome)
{
    switch (outcome) {
    case PORTTALK_DONE:
        return 0;
    case PORTTALK_REFUSED:
        return -EPERM;
    case PORTTALK_MALFORMED:
        return -EINVAL;
    default:
        return -ENOTTY;
    }
}

static long PortTalkIoctl(struct file* file, unsigned int code, unsigned long argument)
{
    void __user* request = (void __user*)argument;
    unsigned char buffer[PORTTALK_DEVICE_BUFFER];
    unsigned long inSize, outSize, answered;
    long error;

    if (!PortTalkDeviceSizes(code, &inSize, &outSize))
        return -ENOTTY;
    if (copy_from_user(buffer, request, inSize))
        return -EFAULT;
    error = ErrnoOf(PortTalkServe(
        &g_platform, &g_ports, file->private_data, code, buffer, inSize, outSize, &answered));
    if (error)
        return error;
    if (answered && copy_to_user(request, buffer, answered))
        return -EFAULT;
    return 0;
}

static const struct file_operations g_portTalkFops = {
    .owner = THIS_MODULE,
    .open = PortTalkOpen,
    .release = PortTalkRelease,
    .unlocked_ioctl = PortTalkIoctl,
    /* 32-bit clients: the argument is a pointer, the layouts are the same. */
    .compat_ioctl = compat_ptr_ioctl,
    .llseek = noop_llseek,
};

/* Root only until the udev rule hands the node to group bypassctl. */
static struct miscdevice g_portTalkDevice = {
    .minor = MISC_DYNAMIC_MINOR,
    .name = PORTTALK_DEVICE_NAME,
    .fops = &g_portTalkFops,
    .mode = 0600,
};

static int __init PortTalkLoad(void)
{
    /* Before the node exists, so that no request sees the SMBus window
     * unknown. */
    PortTalkLearnPlatform(&g_platform, &g_ports);
    return misc_register(&g_portTalkDevice);
}

static void __exit PortTalkUnload(void) { misc_deregister(&g_portTalkDevice); }

module_init(PortTalkLoad);
module_exit(PortTalkUnload);

MODULE_DESCRIPTION("PortTalk: the I/O ports of the BypassTool boards, behind an allow-list");
MODULE_LICENSE("Dual MIT/GPL");
