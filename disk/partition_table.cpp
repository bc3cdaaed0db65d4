// Reading an MBR and the chain of extended boot records (see
// partition_table.h).  The layout is the IBM PC's: four 16-byte entries at
// byte 446, the signature 0x55 0xAA at 510; an entry's type at 4, its start
// at 8 and its length at 12, both 32-bit sectors.  Each extended boot
// record holds one logical drive (its start counted from that record) and
// the link to the next record (counted from the extended partition), as
// Linux's msdos partition reader follows them.
#include "partition_table.h"

#include <stdio.h>

#include "../base/byte_order.h"
#include "../base/sizes.h"

namespace {

const size_t kTable = 446, kEntry = 16;

bool has_signature(const unsigned char* sector) {
    return sector[510] == 0x55 && sector[511] == 0xAA;
}

}  // namespace

bool is_fat_type(uint8_t type) {
    return type == 0x01 || type == 0x04 || type == 0x06 || type == 0x0B || type == 0x0C ||
           type == 0x0E;
}

bool is_extended_type(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

std::string partition_type_name(uint8_t type) {
    switch (type) {
        case 0x01: return "FAT12";
        case 0x04: case 0x06: case 0x0E: return "FAT16";
        case 0x0B: case 0x0C: return "FAT32";
        case 0x05: case 0x0F: case 0x85: return "extended";
        case 0x07: return "NTFS or exFAT";
        case 0x82: return "Linux swap";
        case 0x83: return "Linux";
        case 0xEE: return "GPT";
        default: break;
    }
    char name[16];
    snprintf(name, sizeof name, "type 0x%02X", type);
    return name;
}

bool read_partitions(const unsigned char* mbr, uint64_t disk_sectors, const byte_source& disk,
                     std::vector<partition>* found) {
    if (!has_signature(mbr)) return false;
    uint64_t extended = 0;
    for (int i = 0; i < 4; i++) {
        const unsigned char* entry = mbr + kTable + kEntry * i;
        if ((entry[0] & 0x7F) != 0) return false;  // boot flag 0 or 0x80 only
        if (entry[4] == 0) continue;
        found->push_back({i + 1, entry[4], le32(entry + 8), le32(entry + 12)});
        if (is_extended_type(entry[4]) && extended == 0) extended = le32(entry + 8);
    }
    std::vector<uint64_t> visited;  // the records read, to end a chain that loops
    uint64_t record = extended;
    int number = 5;
    while (extended != 0 && record < disk_sectors && (int)visited.size() < kMostLogicalDrives) {
        for (uint64_t seen : visited)
            if (seen == record) return true;
        visited.push_back(record);
        unsigned char ebr[kSector];
        if (!read_source(disk, record * kSector, ebr, sizeof ebr) || !has_signature(ebr)) break;
        const unsigned char* logical = ebr + kTable;
        const unsigned char* link = ebr + kTable + kEntry;
        if (logical[4] != 0)
            found->push_back(
                {number++, logical[4], record + le32(logical + 8), le32(logical + 12)});
        if (link[4] == 0 || le32(link + 8) == 0) break;
        record = extended + le32(link + 8);
    }
    return !found->empty();
}
