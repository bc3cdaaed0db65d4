// libFuzzer target: the FAT volume reader (disk/fat_layout.h) as the
// rollback journal (disk/image_journal.h) and the free-room check use it:
// the boot sector's layout, the FAT's entries, the free clusters, a
// folder's and a file's cluster chain.
//
// The input is the volume's first bytes; the rest of what its boot sector
// claims reads as zeros, as a sparse image would (volumes whose metadata
// area, which the journal copies, passes kMostBytes are left to
// read_fat_layout alone).  Every read goes
// through a source that stops the program at a read outside the volume.
// The layout must place its areas inside the volume and the FAT must hold
// an entry for each cluster; each chain must end, never visit a cluster
// twice and hold data clusters only; what the journal keeps must lie inside
// the volume; the free clusters counted are no more than the clusters.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../disk/fat_layout.h"
#include "../disk/image_journal.h"

namespace {

const uint64_t kMostBytes = 1 << 20;

[[noreturn]] void broken(const char* what, uint64_t number) {
    fprintf(stderr, "\nFAT property broken: %s (%llu)\n", what, (unsigned long long)number);
    abort();
}

uint64_t volume_bytes;  // what the boot sector claims

// The input, then zeros up to volume_bytes; nothing past it.
bool read_volume(const byte_source& source, uint64_t offset, void* buffer, size_t size) {
    if (offset > volume_bytes || size > volume_bytes - offset) broken("a read past the volume", offset);
    unsigned char* into = (unsigned char*)buffer;
    memset(into, 0, size);
    if (offset < source.size)
        memcpy(into, source.bytes + offset, std::min<uint64_t>(size, source.size - offset));
    return true;
}

void check_layout(const fat_layout& layout) {
    if (layout.fat_offset + (uint64_t)layout.fat_copies * layout.fat_bytes > layout.root_offset ||
        layout.root_offset + layout.root_bytes > layout.data_offset)
        broken("the metadata areas overlap", layout.data_offset);
    if (layout.data_offset + (uint64_t)layout.clusters * layout.cluster_bytes > volume_bytes)
        broken("clusters past the volume's end", layout.clusters);
    if (((uint64_t)layout.clusters + 2) * (uint64_t)layout.fat_bits > layout.fat_bytes * 8)
        broken("clusters the FAT has no entry for", layout.clusters);
}

void check_chain(const fat_layout& layout, const std::vector<unsigned char>& fat, uint32_t first) {
    std::vector<uint32_t> chain;
    if (!cluster_chain(layout, fat.data(), first, layout.clusters, &chain)) return;
    std::vector<uint32_t> sorted = chain;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
        broken("a chain that visits a cluster twice", first);
    for (uint32_t cluster : chain)
        if (!is_data_cluster(layout, cluster)) broken("a chain through no data cluster", cluster);
}

void check_journal(image_journal* journal, const byte_source& volume, const char* folder) {
    if (!journal_keep_from(journal, volume, folder)) return;
    for (const kept_region& region : journal->regions)
        if (region.offset + region.bytes > volume_bytes) broken("a kept region past the volume", region.offset);
    const fat_layout& layout = journal->layout;
    if (journal_free_bytes(*journal) > (uint64_t)layout.clusters * layout.cluster_bytes)
        broken("more free bytes than clusters", journal_free_bytes(*journal));
    journal_forget(journal);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    unsigned char boot[512] = {};
    memcpy(boot, data, std::min<size_t>(size, sizeof boot));
    fat_layout layout = read_fat_layout(boot);
    if (!layout.valid) return 0;
    volume_bytes = fat_volume_bytes(layout);
    check_layout(layout);
    if (layout.data_offset > kMostBytes) return 0;
    byte_source volume = memory_source(data, size);
    volume.read = read_volume;

    std::vector<unsigned char> fat((size_t)layout.fat_bytes);
    read_volume(volume, layout.fat_offset, fat.data(), fat.size());
    if (free_clusters(layout, fat.data()) > layout.clusters) broken("more free clusters than clusters", 0);
    // A file's chain from the root's first cluster, and from each of the first clusters.
    check_chain(layout, fat, layout.root_cluster);
    for (uint32_t first = 2; first < 34; first++) check_chain(layout, fat, first);

    static image_journal journal;  // its mapping kept from one input to the next
    check_journal(&journal, volume, "/");
    check_journal(&journal, volume, "/WINDOWS/INF");
    return 0;
}
