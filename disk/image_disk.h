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
// Images of other formats (image_formats.h) are not read here: those QEMU
// changes are exported as a raw disk first (image_export.h), and that one
// is read here; the rest are refused with the reason, and a way to convert
// them where there is one.  Only the image is read here.
#ifndef TAMRIX_DISK_IMAGE_DISK_H
#define TAMRIX_DISK_IMAGE_DISK_H

#include <stdint.h>

#include <string>

#include "image_formats.h"
#include "image_io.h"
#include "image_session.h"

struct image_volume {
    bool found = false;
    std::string error;    // when not found: a sentence for the user, naming the image
    bool damaged = false;  // not found because the image is cut short (image_checks.h)
    uint64_t offset = 0;  // of the FAT volume's boot sector, in bytes
};

// Lines that tell how to convert the image `shown` to a raw one, which
// Tamrix can patch, with qemu-img's driver `qemu_name`.
std::string image_convert_hint(const std::string& shown, const char* qemu_name);

// Reads the raw disk open as `fd`, an image of `format` (`shown` is its
// name in messages; QEMU's export of one is raw), and finds the FAT volume
// Tamrix works on: partition `wanted`, or the first FAT one when `wanted`
// is 0.
image_volume find_fat_volume(int fd, const image_format& format, const std::string& shown,
                             int wanted);

// The same on the raw disk `image`, `size` bytes long: what the program
// does through the descriptor, and the fuzz target on bytes in memory.
// Nothing outside those bytes is read.
image_volume find_fat_volume_in(const byte_source& image, uint64_t size,
                                const image_format& format, const std::string& shown, int wanted);

#endif
