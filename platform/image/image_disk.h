// What a disk image file holds, and where its FAT volume begins.
//
// Tamrix changes the files of a FAT volume inside an image through GNU
// mtools, which needs only the byte offset of the volume in the file.  Found
// here from the image's first sectors:
//   a bare FAT volume (a partition image, a floppy): offset 0;
//   a disk with an MBR: its first FAT partition (FAT12, FAT16, FAT32 and
//     their LBA types), the primary ones 1 to 4 first, then the logical
//     drives of an extended partition from 5 on, as Linux numbers them; or
//     the one asked for;
//   a fixed VHD: the raw disk before its 512-byte footer ("conectix").
// Images that are not raw (dynamic or differencing VHD, VHDX, VDI, VMDK,
// qcow2) cannot be changed in place and are refused with a way to convert
// them; so is anything else.  Only the image is read here.
#ifndef TAMRIX_PLATFORM_IMAGE_IMAGE_DISK_H
#define TAMRIX_PLATFORM_IMAGE_IMAGE_DISK_H

#include <stdint.h>

#include <string>

struct image_volume {
    bool found = false;
    std::string error;    // when not found: a sentence for the user, naming the image
    uint64_t offset = 0;  // of the FAT volume's boot sector, in bytes
    int partition = 0;    // its number, or 0 for a bare volume
};

// Opens the image file `path` (`shown` in messages) for reading: a
// descriptor, or -1 with a sentence for the user in `error`.  Anything but
// a file (a FIFO, a socket, a device, a folder) is refused at once, without
// an open that could wait for a writer or touch a device.
int open_image_file(const std::string& path, const std::string& shown, std::string* error);

// Reads the image open as `fd` (`shown` is its name in messages) and finds
// the FAT volume Tamrix works on: partition `wanted`, or the first FAT one
// when `wanted` is 0.
image_volume find_fat_volume(int fd, const std::string& shown, int wanted);

#endif
