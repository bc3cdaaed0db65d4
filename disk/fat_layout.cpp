// The layout of a FAT volume and its folder entries (see fat_layout.h).
#include "fat_layout.h"

#include <string.h>

#include "../base/byte_order.h"

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

// A folder entry's parts.
const size_t kEntry = 32;
const unsigned char kEndMark = 0x00, kDeleted = 0xE5;
const unsigned char kLongName = 0x0F, kLabel = 0x08, kFolder = 0x10;  // attribute bits
const int kLongNameChars = 13;                                      // in each long-name entry
const int kLongestName = 255;

// The short name as "NAME.EXT", or "NAME" without an extension.
void short_name(const unsigned char* entry, char* name) {
    int length = 0;
    for (int i = 0; i < 8 && entry[i] != ' '; i++)
        name[length++] = i == 0 && entry[0] == 0x05 ? (char)kDeleted : (char)entry[i];
    if (entry[8] != ' ') name[length++] = '.';
    for (int i = 8; i < 11 && entry[i] != ' '; i++) name[length++] = (char)entry[i];
    name[length] = '\0';
}

// The checksum of a short name that each of its long-name entries carries.
unsigned char short_name_sum(const unsigned char* entry) {
    unsigned char sum = 0;
    for (int i = 0; i < 11; i++) sum = (unsigned char)(((sum & 1) << 7) + (sum >> 1) + entry[i]);
    return sum;
}

bool same_ascii(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; a++, b++)
        if (upper(*a) != upper(*b)) return false;
    return *a == *b;
}

// A long name gathered from its entries, which stand before the short one,
// last part first.
struct long_name {
    uint16_t chars[kLongestName + kLongNameChars];
    int parts;            // the number its last part gave; 0 when none is gathering
    unsigned char sum;    // the short name's checksum they carry
};

void gather(long_name* name, const unsigned char* entry) {
    static const int kCharAt[kLongNameChars] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    int part = entry[0] & 0x1F;
    if (part == 0 || part * kLongNameChars > kLongestName + kLongNameChars) {
        name->parts = 0;
        return;
    }
    if ((entry[0] & 0x40) != 0) {
        name->parts = part;
        name->sum = entry[13];
        for (uint16_t& c : name->chars) c = 0;
    }
    if (name->parts == 0 || entry[13] != name->sum) {
        name->parts = 0;
        return;
    }
    for (int i = 0; i < kLongNameChars; i++)
        name->chars[(part - 1) * kLongNameChars + i] = le16(entry + kCharAt[i]);
}

// Whether the long name is `wanted`: ASCII letters in any case, nothing else.
bool long_name_is(const long_name& name, const char* wanted) {
    int i = 0;
    for (; i < name.parts * kLongNameChars && name.chars[i] != 0 && name.chars[i] != 0xFFFF; i++) {
        if (name.chars[i] >= 0x80 || upper((char)name.chars[i]) != upper(wanted[i])) return false;
    }
    return wanted[i] == '\0';
}

}  // namespace

fat_layout read_fat_layout(const unsigned char* boot) {
    fat_layout layout;
    memset(&layout, 0, sizeof layout);
    uint32_t sector = le16(boot + 11);
    uint32_t per_cluster = boot[13];
    uint32_t reserved = le16(boot + 14);
    uint32_t copies = boot[16];
    uint32_t root_entries = le16(boot + 17);
    uint64_t total = le16(boot + 19) != 0 ? le16(boot + 19) : le32(boot + 32);
    bool fat32 = le16(boot + 22) == 0;  // FAT32 keeps its FAT's size further on
    uint64_t fat_sectors = fat32 ? le32(boot + 36) : le16(boot + 22);
    if ((sector != 512 && sector != 1024 && sector != 2048 && sector != 4096) ||
        per_cluster == 0 || (per_cluster & (per_cluster - 1)) != 0 || reserved == 0 ||
        copies == 0 || fat_sectors == 0 || total == 0 || (fat32 && root_entries != 0))
        return layout;
    layout.sector_bytes = sector;
    layout.cluster_bytes = sector * per_cluster;
    layout.total_sectors = total;
    layout.fat_offset = (uint64_t)reserved * sector;
    layout.fat_bytes = fat_sectors * sector;
    layout.fat_copies = copies;
    layout.root_offset = layout.fat_offset + copies * layout.fat_bytes;
    layout.root_bytes = ((uint64_t)root_entries * kEntry + sector - 1) / sector * sector;
    layout.root_cluster = fat32 ? le32(boot + 44) : 0;
    layout.data_offset = layout.root_offset + layout.root_bytes;
    if (layout.data_offset >= total * sector) return layout;
    uint64_t clusters = (total * sector - layout.data_offset) / layout.cluster_bytes;
    layout.fat_bits = fat32 ? 32 : clusters < 4085 ? 12 : 16;
    // No more clusters than the FAT has entries for (two are reserved).
    uint64_t entries = layout.fat_bytes * 8 / (uint64_t)layout.fat_bits;
    if (entries < 2) return layout;
    layout.clusters = (uint32_t)(clusters < entries - 2 ? clusters : entries - 2);
    layout.valid = !fat32 || is_data_cluster(layout, layout.root_cluster);
    return layout;
}

uint32_t next_cluster(const fat_layout& layout, const unsigned char* fat, uint32_t cluster) {
    if (layout.fat_bits == 32) return le32(fat + 4 * (uint64_t)cluster) & 0x0FFFFFFF;
    if (layout.fat_bits == 16) return le16(fat + 2 * (uint64_t)cluster);
    // FAT12: two entries in three bytes, the even one in the low 12 bits.
    uint16_t pair = le16(fat + cluster + cluster / 2);
    return cluster % 2 == 0 ? pair & 0x0FFF : pair >> 4;
}

uint32_t free_clusters(const fat_layout& layout, const unsigned char* fat) {
    uint32_t count = 0;
    for (uint32_t cluster = 2; cluster - 2 < layout.clusters; cluster++)
        if (next_cluster(layout, fat, cluster) == 0) count++;
    return count;
}

bool find_folder_entry(const unsigned char* entries, size_t size, const char* name,
                       uint32_t* cluster) {
    long_name gathered;
    gathered.parts = 0;
    for (size_t at = 0; at + kEntry <= size; at += kEntry) {
        const unsigned char* entry = entries + at;
        if (entry[0] == kEndMark) return false;
        if (entry[0] == kDeleted) {
            gathered.parts = 0;
        } else if (entry[11] == kLongName) {
            gather(&gathered, entry);
        } else {
            char short_form[13];
            short_name(entry, short_form);
            bool named = same_ascii(short_form, name) ||
                         (gathered.parts != 0 && gathered.sum == short_name_sum(entry) &&
                          long_name_is(gathered, name));
            gathered.parts = 0;
            if (named && (entry[11] & kFolder) != 0 && (entry[11] & kLabel) == 0) {
                *cluster = (uint32_t)le16(entry + 20) << 16 | le16(entry + 26);
                return true;
            }
        }
    }
    return false;
}
