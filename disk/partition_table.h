// The partitions of a disk with an MBR, as Linux numbers them: the primary
// ones 1 to 4 as the table holds them, then the logical drives of the first
// extended partition from 5 on, following the chain of its extended boot
// records.  Only the tables are read here, through a byte_source: the
// image's descriptor in the program, its bytes in the fuzz target.
#ifndef TAMRIX_DISK_PARTITION_TABLE_H
#define TAMRIX_DISK_PARTITION_TABLE_H

#include <stdint.h>

#include <string>
#include <vector>

#include "image_io.h"

struct partition {
    int number;
    uint8_t type;
    uint64_t start;    // in 512-byte sectors
    uint64_t sectors;  // as its table entry says
};

// The most logical drives read: Linux's own limit is far below it.
const int kMostLogicalDrives = 128;

// The partitions of the disk whose first sector is `mbr` (512 bytes) and
// which holds `disk_sectors` sectors, reading each extended boot record
// through `disk`.  The chain ends at a record that lies outside the disk,
// cannot be read, holds no table, links to one read before (a loop) or
// comes after kMostLogicalDrives.  An entry may claim sectors past the
// disk's end: the caller tells the user so.  False when `mbr` holds no
// partition table, or one that lists nothing.
bool read_partitions(const unsigned char* mbr, uint64_t disk_sectors, const byte_source& disk,
                     std::vector<partition>* found);

// The partition types of FAT12, FAT16 and FAT32 (and their LBA forms), and
// of an extended partition.
bool is_fat_type(uint8_t type);
bool is_extended_type(uint8_t type);

// "FAT16", "extended", "Linux", "type 0x12": for messages.
std::string partition_type_name(uint8_t type);

#endif
