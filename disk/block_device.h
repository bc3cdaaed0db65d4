// A real disk as the image: a whole disk (/dev/sdb, /dev/mmcblk0) or one
// partition of one (/dev/sdb1), such as the CompactFlash or SD card of a
// real Windows 95 machine in a card reader.  It is read and changed as a
// raw image file is (image_disk.h, image_files.h), with these differences:
//   - it is opened with O_EXCL, so that the kernel refuses a device that is
//     mounted, or one of whose partitions is, or that another program
//     holds exclusively (a RAID or LVM member, another Tamrix); which of
//     these it is comes from /proc/self/mountinfo, and nothing was read;
//   - its size comes from the device (BLKGETSIZE64), for stat gives 0;
//   - what it is, as the system names it (its model and size in sysfs),
//     is shown before a change, since a wrong device name destroys data.
// An ordinary user needs read and write access to the device node: on
// Debian the group `disk`, or the desktop's rules for removable media,
// which the refusal tells.
#ifndef TAMRIX_DISK_BLOCK_DEVICE_H
#define TAMRIX_DISK_BLOCK_DEVICE_H

#include <stdint.h>

#include <string>

enum device_opening {
    device_open,         // for reading and writing
    device_read_only,    // for reading: writing was refused (permissions, a write-protected card)
    device_held,         // mounted, or held exclusively by another program
    device_not_opened,   // not even for reading
};

struct opened_device {
    device_opening how = device_not_opened;
    int fd = -1;
    bool write_protected = false;  // read-only: the device itself refuses writes (EROFS)
    std::string why;  // device_held, device_not_opened: a sentence for the user
};

// Opens the block device `path` exclusively, for reading and writing where
// this user may, else for reading.
opened_device block_device_open(const std::string& path);

// What `fd` holds in bytes: a file's length, or a block device's size.
uint64_t image_bytes(int fd);

// The device open as `fd` as the system names it, for the user to know it
// again: "SanDisk SDDR-289, 1.9 GiB (2013265920 bytes)"; a partition is
// named with its disk ("partition 1 of ..."), a loop device by its file.
std::string block_device_description(int fd);

// Why this user may not write the device `path`, and what gives access.
std::string block_device_access_advice(const std::string& path);

#endif
