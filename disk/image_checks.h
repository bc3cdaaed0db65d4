// What is checked before anything in a disk image is changed, so that a run
// never writes past the end of what holds the volume, and does not start
// when the host has no room for what it will write.
#ifndef TAMRIX_DISK_IMAGE_CHECKS_H
#define TAMRIX_DISK_IMAGE_CHECKS_H

#include <stdint.h>

#include <string>

// Where a FAT volume lies, as the image's own records say.
struct volume_extent {
    uint64_t disk_bytes;         // the raw disk: the image file, less a VHD's footer
    bool vhd;                    // a fixed VHD: its disk is the file less the footer
    int partition;               // the volume's partition, 0 for a bare volume
    uint64_t partition_start;    // its table entry, in 512-byte sectors
    uint64_t partition_sectors;
    uint64_t volume_bytes;       // the boot sector's total sectors times their size
};

// Empty when the partition lies inside the disk and the volume inside its
// partition (or inside the disk, for a bare volume).  Else a sentence for
// the user, naming the image as `shown`, saying what is longer than what.
std::string extent_problem(const volume_extent& extent, const std::string& shown);

// What a run may write on the host at most: the new texts of the INF files
// (a few hundred KB), the clusters mcopy fills and a folder it grows, with
// a margin.
const uint64_t kRoomForARun = 4u << 20;

// The bytes an unprivileged process may still write on the file system
// that holds the file open as `fd`; false when it cannot be told.
bool host_room(int fd, uint64_t* available);

// The folder the file system holding `path` is mounted on: the highest
// folder above it on the same device ("/" when it cannot be told).
std::string mount_point_of(const std::string& path);

#endif
