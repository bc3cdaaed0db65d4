// Readers of an image's foreign bytes, on bytes in memory: the walk of the
// MBR and its chain of extended boot records, and what qemu-img check's
// output says.  (Their fuzz targets are fuzz/fuzz_partitions.cpp and
// fuzz/fuzz_tool_output.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../disk/partition_table.h"
#include "../../disk/qemu_check.h"

namespace {

const size_t kSector = 512;

// A disk of `sectors` sectors; entry(disk, sector, slot, type, start, length) fills one
// entry of the table in `sector` and signs it.
struct disk {
    std::vector<unsigned char> bytes;
    explicit disk(size_t sectors) : bytes(sectors * kSector) {}
    void entry(uint64_t sector, int slot, uint8_t type, uint32_t start, uint32_t length) {
        unsigned char* at = &bytes[sector * kSector + 446 + 16 * slot];
        at[4] = type;
        for (int i = 0; i < 4; i++) at[8 + i] = (unsigned char)(start >> (8 * i));
        for (int i = 0; i < 4; i++) at[12 + i] = (unsigned char)(length >> (8 * i));
        bytes[sector * kSector + 510] = 0x55;
        bytes[sector * kSector + 511] = 0xAA;
    }
};

// "number:start" for each partition found; "none" when there is no table.
std::string walk(const disk& d) {
    std::vector<partition> found;
    if (!read_partitions(d.bytes.data(), d.bytes.size() / kSector,
                         memory_source(d.bytes.data(), d.bytes.size()), &found))
        return "none";
    std::string text;
    for (const partition& p : found)
        text += (text.empty() ? "" : " ") + std::to_string(p.number) + ":" + std::to_string(p.start);
    return text;
}

TEST(PartitionWalk, PrimaryLogicalAndChainsThatEndEarly) {
    struct row {
        const char* name;
        int links;        // EBRs at 10, 20, 30...: how many, each with a drive 2 sectors on
        int last_link;    // where the last EBR links, counted from the extended partition; 0: none
        const char* found;
    };
    const row rows[] = {
        {"one logical drive", 1, 0, "1:1 2:10 5:12"},
        {"three logical drives", 3, 0, "1:1 2:10 5:12 6:22 7:32"},
        {"a chain that links to itself", 2, 10, "1:1 2:10 5:12 6:22"},
        {"a chain that links back to an earlier record", 3, 10, "1:1 2:10 5:12 6:22 7:32"},
        {"a link past the disk's end", 2, 1000, "1:1 2:10 5:12 6:22"},
        {"a link to a sector without a table", 2, 50, "1:1 2:10 5:12 6:22"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        disk d(64);
        d.entry(0, 0, 0x06, 1, 8);
        d.entry(0, 1, 0x05, 10, 50);
        for (int i = 0; i < r.links; i++) {
            uint64_t record = 10 + 10 * (uint64_t)i;
            d.entry(record, 0, 0x0E, 2, 6);
            bool last = i + 1 == r.links;
            if (!last || r.last_link != 0) d.entry(record, 1, 0x05, last ? r.last_link : 10 * (i + 1), 10);
        }
        EXPECT_EQ(walk(d), r.found);
    }
    disk unsigned_mbr(4);
    EXPECT_EQ(walk(unsigned_mbr), "none");
}

TEST(QemuCheckWords, OutcomeAndOneLineForTheUser) {
    struct row {
        const char* name;
        int code;
        bool dirty;
        const char* output;
        qemu_check_outcome outcome;
        const char* said;
    };
    const row rows[] = {
        {"leaks alone", 3, false, "Leaked cluster 9 refcount=1 reference=0\n", check_sound, ""},
        {"a dirty image's refcounts", 2, true,
         "ERROR cluster 5 refcount=0 reference=1\n1 errors were found on the image.\n",
         check_sound, ""},
        {"the same on a clean image", 2, false,
         "ERROR cluster 5 refcount=0 reference=1\n1 errors were found on the image.\n",
         check_damaged, "ERROR cluster 5 refcount=0 reference=1; 1 errors were found on the image."},
        {"a carriage return inside a line", 2, false, "ERROR in 'a\rb'\r\n", check_damaged,
         "ERROR in 'a b'"},
        {"an image qemu-img could not open", 1, false,
         "qemu-img: Could not open 'a': Image is not in qcow2 format\r\n", check_unopened,
         "Image is not in qcow2 format"},
        {"no checks for the format", 1, false,
         "qemu-img: This image format does not support checks\n", check_not_offered, ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        qemu_check_result result = read_qemu_check(r.code, r.output, r.dirty);
        EXPECT_EQ(result.outcome, r.outcome);
        EXPECT_EQ(result.said, r.said);
    }
}

}  // namespace
