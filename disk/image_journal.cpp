// The rollback journal of a change in an image's FAT volume (see
// image_journal.h).
#include "image_journal.h"

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../base/split_at.h"
#include "fat_layout.h"
#include "image_io.h"
#include "../base/sizes.h"

namespace {


// The regions' bytes are kept in memory that is mapped apart and left out
// of every fork: each tool is started by a fork, which would otherwise copy
// the page tables of megabytes of FAT each time.  The mapping stays from
// one change to the next, so that its pages are touched once.
//
// Room for `more` bytes after those in use, moving them when it must grow.
bool make_room(image_journal* journal, size_t more) {
    if (journal->used + more <= journal->room) return true;
    size_t room = (journal->used + more) * 2;
    void* grown = mmap(nullptr, room, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (grown == MAP_FAILED) return false;
    madvise(grown, room, MADV_DONTFORK);
    if (journal->copy != nullptr) {
        memcpy(grown, journal->copy, journal->used);
        munmap(journal->copy, journal->room);
    }
    journal->copy = (unsigned char*)grown;
    journal->room = room;
    return true;
}

bool keep(image_journal* journal, int fd, uint64_t offset, uint64_t bytes) {
    if (!make_room(journal, bytes) || !read_at(fd, offset, journal->copy + journal->used, bytes))
        return false;
    journal->regions.push_back({offset, bytes, journal->used});
    journal->used += bytes;
    return true;
}

// The clusters of the chain that begins at `first`; false when it leaves
// the volume or loops.
bool chain_of(const fat_layout& layout, const unsigned char* fat, uint32_t first,
              std::vector<uint32_t>* chain) {
    chain->clear();
    for (uint32_t cluster = first; is_data_cluster(layout, cluster);
         cluster = next_cluster(layout, fat, cluster)) {
        if (chain->size() == layout.clusters) return false;
        chain->push_back(cluster);
    }
    return !chain->empty();
}

bool read_chain(int fd, uint64_t volume, const fat_layout& layout,
                const std::vector<uint32_t>& chain, std::vector<unsigned char>* bytes) {
    bytes->resize(chain.size() * (size_t)layout.cluster_bytes);
    for (size_t i = 0; i < chain.size(); i++)
        if (!read_at(fd, volume + cluster_offset(layout, chain[i]),
                     &(*bytes)[i * layout.cluster_bytes], layout.cluster_bytes))
            return false;
    return true;
}

bool keep_folder(image_journal* journal, int fd, uint64_t volume, const fat_layout& layout,
                 const char* folder) {
    const unsigned char* copy = journal->copy;
    const unsigned char* fat = &copy[layout.fat_offset];
    // Where the folder's entries are: its chain, or none for the FAT12/16 root.
    std::vector<uint32_t> chain;
    if (layout.fat_bits == 32 && !chain_of(layout, fat, layout.root_cluster, &chain)) return false;
    std::vector<unsigned char> entries;
    for (const std::string& name : split_at(folder, '/')) {
        if (name.empty()) continue;
        const unsigned char* listing = &copy[layout.root_offset];
        size_t listing_bytes = (size_t)layout.root_bytes;
        if (!chain.empty()) {
            if (!read_chain(fd, volume, layout, chain, &entries)) return false;
            listing = entries.data();
            listing_bytes = entries.size();
        }
        uint32_t first = 0;
        if (!find_folder_entry(listing, listing_bytes, name.c_str(), &first)) return false;
        if (layout.fat_bits != 32) first &= 0xFFFF;
        if (first == 0) first = layout.root_cluster;  // ".." of a folder in the root
        chain.clear();
        if (first != 0 && !chain_of(layout, fat, first, &chain)) return false;
    }
    for (uint32_t cluster : chain)
        if (!keep(journal, fd, volume + cluster_offset(layout, cluster), layout.cluster_bytes))
            return false;
    return true;
}

}  // namespace

bool journal_keep(image_journal* journal, int fd, uint64_t volume_offset, const char* folder) {
    journal_forget(journal);
    unsigned char boot[kSector];
    if (!read_at(fd, volume_offset, boot, sizeof boot)) return false;
    fat_layout layout = read_fat_layout(boot);
    journal->layout = layout;
    bool kept = layout.valid && keep(journal, fd, volume_offset, layout.data_offset) &&
                keep_folder(journal, fd, volume_offset, layout, folder);
    if (!kept) journal_forget(journal);
    return kept;
}

uint64_t journal_free_bytes(const image_journal& journal) {
    if (journal.regions.empty()) return 0;
    const fat_layout& layout = journal.layout;
    return (uint64_t)free_clusters(layout, journal.copy + layout.fat_offset) * layout.cluster_bytes;
}

bool journal_put_back(image_journal* journal, int fd) {
    bool put_back = true;
    std::vector<unsigned char> now;
    for (const kept_region& region : journal->regions) {
        now.resize(region.bytes);
        if (!read_at(fd, region.offset, now.data(), now.size())) {
            put_back = false;
            continue;
        }
        const unsigned char* before = &journal->copy[region.at];
        for (size_t at = 0; at < region.bytes; at += kSector) {
            size_t size = region.bytes - at < kSector ? region.bytes - at : kSector;
            if (memcmp(&now[at], before + at, size) != 0 &&
                !write_at(fd, region.offset + at, before + at, size))
                put_back = false;
        }
    }
    journal_forget(journal);
    return fsync(fd) == 0 && put_back;
}

void journal_forget(image_journal* journal) {
    journal->regions.clear();
    journal->used = 0;
}
