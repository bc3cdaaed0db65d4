// The pure parts of patching a disk image safely: the extents checked before
// a run, the conversion command offered for a format Tamrix refuses, and the
// FAT lookups of the rollback journal.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "../../disk/convert_hint.h"
#include "../../disk/fat_layout.h"
#include "../../disk/image_checks.h"

namespace {

std::set<std::string> existing;  // the files the conversion command must not name
bool exists_here(const char* path) { return existing.count(path) != 0; }

TEST(ConvertHint, QuotedAndNeverAnExistingFile) {
    struct row {
        const char* image;
        std::vector<const char*> existing;
        const char* command;  // after "qemu-img convert -f vpc -O raw "
    };
    const row rows[] = {
        {"v.vhd", {}, "v.vhd v.img"},
        {"v.qcow2", {"v.img"}, "v.qcow2 v-raw.img"},
        {"v.qcow2", {"v.img", "v-raw.img", "v.1.img"}, "v.qcow2 v.2.img"},
        {"win95.img", {}, "win95.img win95-raw.img"},
        {"disk", {}, "disk disk.img"},
        {"/vm/.hidden", {}, "/vm/.hidden /vm/.hidden.img"},
        {"my disks/Win 95.vhd", {}, "'my disks/Win 95.vhd' 'my disks/Win 95.img'"},
        {"it's.vhd", {}, "'it'\\''s.vhd' 'it'\\''s.img'"},
        {"a$b`c\".vhd", {}, "'a$b`c\".vhd' 'a$b`c\".img'"},
        {"-x.vhd", {}, "./-x.vhd ./-x.img"},
        {"d.v1/w", {}, "d.v1/w d.v1/w.img"},
    };
    for (const row& r : rows) {
        existing = std::set<std::string>(r.existing.begin(), r.existing.end());
        EXPECT_EQ(convert_command(r.image, "vpc", exists_here),
                  std::string("qemu-img convert -f vpc -O raw ") + r.command)
            << r.image;
    }
}

TEST(Extents, WhatIsLongerThanWhat) {
    const std::string nothing = "; the image may have been cut short; nothing was changed.";
    struct row {
        volume_extent extent;
        std::string problem;
    };
    const row rows[] = {
        {{1474560, false, 0, 0, 0, 1474560}, ""},
        {{1474560, false, 0, 0, 0, 1475072},
         "The FAT volume of d.img is longer than the image: its boot sector claims 1475072 "
         "bytes, the image holds 1474560 bytes" + nothing},
        {{1474560, true, 0, 0, 0, 1475072},
         "The FAT volume of d.img is longer than the image: its boot sector claims 1475072 "
         "bytes, the VHD's disk holds 1474560 bytes (the file less its 512-byte footer)" +
             nothing},
        {{1 << 20, false, 1, 63, 2048 - 63, (2048 - 63) * 512}, ""},
        {{1 << 20, false, 2, 63, 2048 - 62, 512},
         "Partition 2 of d.img is longer than its disk: the partition table puts its end at "
         "byte 1049088, the image holds 1048576 bytes" + nothing},
        {{1 << 20, false, 5, 63, 100, 100 * 512 + 512},
         "The FAT volume in partition 5 of d.img is longer than the partition: its boot sector "
         "claims 51712 bytes, the partition table gives it 51200 bytes; nothing was changed."},
    };
    for (const row& r : rows) EXPECT_EQ(extent_problem(r.extent, "d.img"), r.problem);
}

// A boot sector with the layout fields only.
std::vector<unsigned char> boot_sector(uint16_t sector, uint8_t per_cluster, uint16_t reserved,
                                       uint16_t root_entries, uint32_t total, uint32_t fat_sectors,
                                       bool fat32) {
    std::vector<unsigned char> boot(512);
    auto put = [&](size_t at, uint32_t value, int size) {
        for (int i = 0; i < size; i++) boot[at + i] = (unsigned char)(value >> (8 * i));
    };
    put(11, sector, 2);
    boot[13] = per_cluster;
    put(14, reserved, 2);
    boot[16] = 2;
    put(17, root_entries, 2);
    put(total < 0x10000 ? 19 : 32, total, total < 0x10000 ? 2 : 4);
    put(fat32 ? 36 : 22, fat_sectors, fat32 ? 4 : 2);
    put(44, fat32 ? 2 : 0, 4);
    return boot;
}

TEST(FatLayout, AreasAndTheNextCluster) {
    // A 1.44 MB floppy: FAT12, 9 sectors per FAT, 224 root entries.
    fat_layout floppy = read_fat_layout(boot_sector(512, 1, 1, 224, 2880, 9, false).data());
    EXPECT_TRUE(floppy.valid);
    EXPECT_EQ(floppy.fat_bits, 12);
    EXPECT_EQ(floppy.root_offset, 19u * 512);
    EXPECT_EQ(floppy.data_offset, 33u * 512);
    EXPECT_EQ(floppy.clusters, 2847u);
    EXPECT_EQ(fat_volume_bytes(floppy), 1474560u);
    // Clusters 2 -> 3 -> 0xFFF, 4 -> 5: 12 bits each, two in three bytes.
    const unsigned char fat12[] = {0xF0, 0xFF, 0xFF, 0x03, 0xF0, 0xFF, 0x05, 0x00, 0x00};
    EXPECT_EQ(next_cluster(floppy, fat12, 2), 3u);
    EXPECT_EQ(next_cluster(floppy, fat12, 3), 0xFFFu);
    EXPECT_EQ(next_cluster(floppy, fat12, 4), 5u);

    fat_layout fat32 = read_fat_layout(boot_sector(512, 8, 32, 0, 4192256, 4089, true).data());
    EXPECT_TRUE(fat32.valid);
    EXPECT_EQ(fat32.fat_bits, 32);
    EXPECT_EQ(fat32.root_bytes, 0u);
    const unsigned char fat[] = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 9, 0, 0, 0xF0};
    EXPECT_EQ(next_cluster(fat32, fat, 2), 0x0FFFFFFFu);
    EXPECT_EQ(next_cluster(fat32, fat, 3), 9u);  // the top four bits are not the entry's

    EXPECT_FALSE(read_fat_layout(boot_sector(500, 1, 1, 224, 2880, 9, false).data()).valid);
    EXPECT_FALSE(read_fat_layout(boot_sector(512, 3, 1, 224, 2880, 9, false).data()).valid);
    EXPECT_FALSE(read_fat_layout(boot_sector(512, 1, 1, 224, 30, 9, false).data()).valid);
}

// A folder's entries: a short name, or a long name before its short one.
void add_entry(std::vector<unsigned char>* folder, const char* short_name11, uint8_t attributes,
               uint32_t cluster) {
    std::vector<unsigned char> entry(32);
    for (int i = 0; i < 11; i++) entry[i] = (unsigned char)short_name11[i];
    entry[11] = attributes;
    entry[20] = (unsigned char)(cluster >> 16), entry[21] = (unsigned char)(cluster >> 24);
    entry[26] = (unsigned char)cluster, entry[27] = (unsigned char)(cluster >> 8);
    folder->insert(folder->end(), entry.begin(), entry.end());
}

void add_long_name(std::vector<unsigned char>* folder, const std::string& name,
                   const char* short_name11, bool good_sum = true) {
    unsigned char sum = 0;
    for (int i = 0; i < 11; i++)
        sum = (unsigned char)(((sum & 1) << 7) + (sum >> 1) + (unsigned char)short_name11[i]);
    static const int kCharAt[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    int parts = (int)(name.size() + 1 + 12) / 13;
    for (int part = parts; part >= 1; part--) {
        std::vector<unsigned char> entry(32);
        entry[0] = (unsigned char)(part | (part == parts ? 0x40 : 0));
        entry[11] = 0x0F;
        entry[13] = good_sum ? sum : (unsigned char)(sum + 1);
        for (int i = 0; i < 13; i++) {
            size_t at = (size_t)(part - 1) * 13 + i;
            uint16_t c = at < name.size() ? (uint8_t)name[at] : at == name.size() ? 0 : 0xFFFF;
            entry[kCharAt[i]] = (unsigned char)c, entry[kCharAt[i] + 1] = (unsigned char)(c >> 8);
        }
        folder->insert(folder->end(), entry.begin(), entry.end());
    }
}

TEST(FatLayout, FindingAFolder) {
    std::vector<unsigned char> folder;
    add_entry(&folder, "WIN95      ", 0x08, 0);        // the label
    add_entry(&folder, "README  TXT", 0x20, 3);        // a file
    add_entry(&folder, "\xE5OLD       ", 0x10, 4);     // deleted
    add_long_name(&folder, "Windows 95 SE", "WINDOW~1   ");
    add_entry(&folder, "WINDOW~1   ", 0x10, 0x12345);
    add_long_name(&folder, "Stale", "OTHER      ", false);  // a long name left by another system
    add_entry(&folder, "OTHER      ", 0x10, 6);
    add_entry(&folder, "WINDOWS    ", 0x10, 7);
    add_entry(&folder, "INF        ", 0x10, 8);
    std::vector<unsigned char> ended = folder;
    folder.push_back(0);  // the end mark: nothing after it counts
    folder.resize(folder.size() + 31);
    add_entry(&folder, "LATER      ", 0x10, 9);
    struct row {
        const char* name;
        bool found;
        uint32_t cluster;
    };
    const row rows[] = {
        {"windows", true, 7},       {"WINDOWS 95 se", true, 0x12345}, {"window~1", true, 0x12345},
        {"inf", true, 8},           {"other", true, 6},               {"stale", false, 0},
        {"README.TXT", false, 0},   {"WIN95", false, 0},              {"OLD", false, 0},
        {"later", false, 0},        {"Windows 95", false, 0},         {"WINDOWS 95 SE2", false, 0},
    };
    for (const row& r : rows) {
        uint32_t cluster = 0;
        EXPECT_EQ(find_folder_entry(folder.data(), folder.size(), r.name, &cluster), r.found)
            << r.name;
        EXPECT_EQ(cluster, r.found ? r.cluster : 0u) << r.name;
    }
    uint32_t cluster = 0;
    EXPECT_TRUE(find_folder_entry(ended.data(), ended.size(), "inf", &cluster));
}

}  // namespace
