// The rollback journal alone, on FAT volumes in scratch files made by
// mkfs.fat and mmd: what a change wrote into the sectors it kept is put
// back byte for byte, what it wrote elsewhere stays, and a change that
// succeeded is forgotten.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../../disk/fat_layout.h"
#include "../../disk/image_io.h"
#include "../../disk/image_journal.h"

namespace {

typedef std::vector<unsigned char> bytes;

bytes file_bytes(int fd) {
    bytes all((size_t)lseek(fd, 0, SEEK_END));
    EXPECT_TRUE(read_at(fd, 0, all.data(), all.size()));
    return all;
}

// Where a change writes: places of the volume, as mtools changes them.
enum place {
    boot = 1,        // the boot sector
    fsinfo = 2,      // the sector after it: FSInfo on FAT32, a reserved one else
    fats = 4,        // the start of each FAT copy (FAT[0] and the first chains)
    root = 8,        // the root folder: its region, or on FAT32 its first cluster
    folder = 16,     // /WINDOWS/INF's first cluster
    free_data = 32,  // a cluster no file owns, which no journal keeps
};

// The offsets in the volume that `places` name.
std::vector<uint64_t> offsets(const fat_layout& layout, int places) {
    std::vector<uint64_t> at;
    if (places & boot) at.push_back(0);
    if (places & fsinfo) at.push_back(layout.sector_bytes);
    if (places & fats)
        for (uint32_t copy = 0; copy < layout.fat_copies; copy++)
            at.push_back(layout.fat_offset + copy * layout.fat_bytes);
    if (places & root)
        at.push_back(layout.fat_bits == 32 ? cluster_offset(layout, layout.root_cluster)
                                           : layout.root_offset);
    // mmd takes the first free clusters in order: WINDOWS, then INF.
    if (places & folder) at.push_back(cluster_offset(layout, layout.fat_bits == 32 ? 4 : 3));
    if (places & free_data) at.push_back(cluster_offset(layout, 200));
    return at;
}

struct scratch_image {
    std::string folder, path;
    int fd = -1;

    scratch_image(const char* mkfs_options, int kib) {
        char name[] = "/tmp/tamrix-journal-XXXXXX";
        folder = mkdtemp(name);
        path = folder + "/fat.img";
        std::string quiet = " >/dev/null 2>&1";
        EXPECT_EQ(system(("mkfs.fat -C " + std::string(mkfs_options) + " " + path + " " +
                          std::to_string(kib) + quiet).c_str()),
                  0);
        EXPECT_EQ(system(("mmd -i " + path + " ::/WINDOWS ::/WINDOWS/INF" + quiet).c_str()), 0);
        fd = open(path.c_str(), O_RDWR);
    }
    ~scratch_image() {
        close(fd);
        unlink(path.c_str());
        rmdir(folder.c_str());
    }
};

TEST(ImageJournal, KeepFailPutBackOrForget) {
    enum ending { put_back, forget };
    struct row {
        const char* name;
        const char* mkfs;  // mkfs.fat's options
        int kib;           // the volume's size
        const char* folder;
        int changed;       // where the change writes
        ending end;
        int stays;         // where its bytes are left
    };
    const row rows[] = {
        {"FAT12, a failed change in the root", "-F 12", 1440, "/", boot | fats | root, put_back,
         0},
        {"FAT16, a failed change in WINDOWS/INF", "-F 16", 20480, "/WINDOWS/INF",
         fsinfo | fats | root | folder, put_back, 0},
        {"FAT32, a failed change in the root's cluster", "-F 32 -s 1", 40960, "/",
         boot | fsinfo | fats | root, put_back, 0},
        {"FAT32, a failed change in WINDOWS/INF", "-F 32 -s 1", 40960, "/WINDOWS/INF",
         boot | fsinfo | fats | folder, put_back, 0},
        {"FAT16, a failed change that filled a free cluster", "-F 16", 20480, "/WINDOWS/INF",
         fats | folder | free_data, put_back, free_data},
        {"FAT16, a change that succeeded", "-F 16", 20480, "/WINDOWS/INF", fats | folder, forget,
         fats | folder},
    };
    const bytes scribble(32, 0xA5);
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        scratch_image image(r.mkfs, r.kib);
        ASSERT_GE(image.fd, 0);
        bytes expected = file_bytes(image.fd);
        fat_layout layout = read_fat_layout(expected.data());
        ASSERT_TRUE(layout.valid);
        image_journal journal;
        ASSERT_TRUE(journal_keep(&journal, image.fd, 0, r.folder));
        for (uint64_t at : offsets(layout, r.changed))
            ASSERT_TRUE(write_at(image.fd, at + 64, scribble.data(), scribble.size()));
        for (uint64_t at : offsets(layout, r.stays))
            std::copy(scribble.begin(), scribble.end(), expected.begin() + at + 64);
        if (r.end == forget) journal_forget(&journal);
        EXPECT_TRUE(journal_put_back(&journal, image.fd));  // after journal_forget: nothing to write
        EXPECT_TRUE(file_bytes(image.fd) == expected);
    }
}

TEST(ImageJournal, NothingKeptWhereTheFolderCannotBeRead) {
    scratch_image image("-F 16", 20480);
    image_journal journal;
    EXPECT_FALSE(journal_keep(&journal, image.fd, 0, "/WINDOWS/NOPE"));
    EXPECT_FALSE(journal_keep(&journal, image.fd, 512, "/"));  // no boot sector there
    EXPECT_EQ(journal_free_bytes(journal), 0u);
}

TEST(ImageJournal, AFolderLongerThanAFolderMayBeIsNotKept) {
    // FAT16 of 512-byte clusters: a folder may take 4,096 (2 MiB).  mmd gave
    // WINDOWS cluster 3 and INF cluster 4; WINDOWS's chain is made to run
    // on through free clusters from 100.
    scratch_image image("-F 16 -s 1", 20480);
    bytes volume = file_bytes(image.fd);
    fat_layout layout = read_fat_layout(volume.data());
    ASSERT_EQ(layout.cluster_bytes, 512u);
    struct row {
        uint32_t clusters;
        bool kept;
    };
    for (const row& r : {row{4096, true}, row{4097, false}}) {
        SCOPED_TRACE(r.clusters);
        std::vector<unsigned char> fat(volume.begin() + layout.fat_offset,
                                       volume.begin() + layout.fat_offset + layout.fat_bytes);
        uint32_t last = 100 + r.clusters - 2;  // 3, then 100 to last
        for (uint32_t cluster = 3; cluster <= last; cluster = cluster == 3 ? 100 : cluster + 1) {
            uint16_t next = cluster == last ? 0xFFFF : cluster == 3 ? 100 : cluster + 1;
            fat[2 * cluster] = (unsigned char)next, fat[2 * cluster + 1] = (unsigned char)(next >> 8);
        }
        ASSERT_TRUE(write_at(image.fd, layout.fat_offset, fat.data(), fat.size()));
        image_journal journal;
        EXPECT_EQ(journal_keep(&journal, image.fd, 0, "/WINDOWS/INF"), r.kept);
        journal_forget(&journal);
    }
}

}  // namespace
