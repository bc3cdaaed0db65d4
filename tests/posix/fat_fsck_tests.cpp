// The FAT volume reader (disk/fat_layout.h) against dosfstools' fsck.fat and
// mtools' mshowfat, on a sample of volumes that mkfs.fat makes: every layout
// field fsck.fat -v shows, the clusters in use it counts, and the chains of
// two folders and two files, one of which another one's deletion left in
// two pieces.  (The reader's fuzz
// target, fuzz/fuzz_fat_volume.cpp, proves it ends and stays inside any
// volume; this proves it right on valid ones.)
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../../disk/fat_layout.h"
#include "../../disk/image_io.h"

namespace {

std::string output_of(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return text;
    char buffer[4096];
    for (size_t count; (count = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, count);
    pclose(pipe);
    return text;
}

// The number before (or, with `after`, right after) `words` in fsck.fat's report.
uint64_t number_at(const std::string& report, const std::string& words, bool after = false) {
    size_t at = report.find(words);
    if (at == std::string::npos) return ~0ull;
    if (after) return strtoull(report.c_str() + at + words.size(), nullptr, 10);
    size_t start = report.find_last_not_of(" ", at - 1);
    start = report.find_last_of(" \n", start);
    return strtoull(report.c_str() + start + 1, nullptr, 10);
}

// "<3-5> <9>": a chain as mshowfat shows it.
std::string runs_of(const std::vector<uint32_t>& chain) {
    std::string text;
    for (size_t i = 0; i < chain.size();) {
        size_t end = i;
        while (end + 1 < chain.size() && chain[end + 1] == chain[end] + 1) end++;
        text += (text.empty() ? "<" : " <") + std::to_string(chain[i]) +
                (end > i ? "-" + std::to_string(chain[end]) : "") + ">";
        i = end + 1;
    }
    return text;
}

TEST(FatReader, AgreesWithFsckFatAndMshowfat) {
    struct row {
        const char* mkfs;
        int kib;
    };
    const row rows[] = {
        {"-F 12", 1440},                  {"-F 12 -S 4096 -s 1", 8192},
        {"-F 12 -s 4 -r 112 -f 1", 4096}, {"-F 16 -s 1", 20480},
        {"-F 16 -s 8 -R 7", 65536},       {"-F 16 -S 1024 -s 2 -r 1024", 32768},
        {"-F 32 -s 1", 40960},            {"-F 32 -s 8 -f 1", 307200},
    };
    char name[] = "/tmp/tamrix-fsck-XXXXXX";
    std::string folder = mkdtemp(name), image = folder + "/fat.img", file = folder + "/file";
    std::string env = "MTOOLS_SKIP_CHECK=1 ", quiet = " >/dev/null 2>&1";
    for (const row& r : rows) {
        SCOPED_TRACE(r.mkfs);
        unlink(image.c_str());
        ASSERT_EQ(system(("mkfs.fat -C " + std::string(r.mkfs) + " " + image + " " +
                          std::to_string(r.kib) + quiet).c_str()), 0);
        // A, B, then A deleted: C takes A's clusters and goes on after B's.
        std::string i = env + "mcopy -i " + image + " " + file + " ::/WINDOWS/INF/";
        ASSERT_EQ(system((env + "mmd -i " + image + " ::/WINDOWS ::/WINDOWS/INF" + quiet).c_str()), 0);
        ASSERT_EQ(system(("head -c 9000 /dev/urandom >" + file + " && " + i + "A && " + i + "B && " +
                          env + "mdel -i " + image + " ::/WINDOWS/INF/A && head -c 30000 /dev/urandom >" +
                          file + " && " + i + "C").c_str()), 0);
        std::string report = output_of("fsck.fat -n -v " + image + " 2>&1");

        int fd = open(image.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        unsigned char boot[512];
        ASSERT_TRUE(read_at(fd, 0, boot, sizeof boot));
        fat_layout layout = read_fat_layout(boot);
        ASSERT_TRUE(layout.valid);
        std::vector<unsigned char> fat((size_t)layout.fat_bytes);
        ASSERT_TRUE(read_at(fd, layout.fat_offset, fat.data(), fat.size()));
        close(fd);

        EXPECT_EQ(layout.sector_bytes, number_at(report, "bytes per logical sector"));
        EXPECT_EQ(layout.cluster_bytes, number_at(report, "bytes per cluster"));
        EXPECT_EQ(layout.fat_offset, number_at(report, "First FAT starts at byte", true));
        EXPECT_EQ(layout.fat_copies, number_at(report, "FATs,"));
        EXPECT_EQ((uint64_t)layout.fat_bits, number_at(report, "bit entries"));
        EXPECT_EQ(layout.fat_bytes, number_at(report, "bytes per FAT"));
        if (layout.fat_bits != 32) {
            EXPECT_EQ(layout.root_offset, number_at(report, "Root directory starts at byte", true));
        }
        EXPECT_EQ(layout.data_offset, number_at(report, "Data area starts at byte", true));
        EXPECT_EQ(layout.clusters, number_at(report, "data clusters"));
        // "fat.img: 4 files, 19/10211 clusters"
        size_t files = report.find(" files, ");
        ASSERT_NE(files, std::string::npos) << report;
        EXPECT_EQ(layout.clusters - free_clusters(layout, fat.data()),
                  strtoull(report.c_str() + files + 8, nullptr, 10));

        for (const char* path : {"/WINDOWS", "/WINDOWS/INF", "/WINDOWS/INF/B", "/WINDOWS/INF/C"}) {
            std::string shown = output_of(env + "mshowfat -i " + image + " ::" + path);
            size_t first = shown.find('<');
            ASSERT_NE(first, std::string::npos) << shown;
            std::vector<uint32_t> chain;
            ASSERT_TRUE(cluster_chain(layout, fat.data(), (uint32_t)atoi(shown.c_str() + first + 1),
                                      layout.clusters, &chain));
            EXPECT_EQ(runs_of(chain), shown.substr(first, shown.find_last_of('>') - first + 1))
                << path;
        }
    }
    unlink(image.c_str());
    unlink(file.c_str());
    rmdir(folder.c_str());
}

}  // namespace
