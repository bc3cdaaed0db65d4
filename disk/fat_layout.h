// Where a FAT volume keeps what describes its files: read from the boot
// sector's layout fields, with the few lookups the image journal needs (the
// next cluster of a chain, a folder's entry for one of its folders).  Pure
// functions over bytes already read; offsets are counted from the volume's
// first byte.
//
//   boot sector and the rest of the reserved sectors (FAT32: FSInfo and the
//     backup boot sector), then each copy of the FAT, then, on FAT12 and
//     FAT16, the root folder's fixed region: together the metadata area;
//   the data area: clusters 2 and up, each folder (FAT32: the root too) a
//     chain of them.
#ifndef TAMRIX_DISK_FAT_LAYOUT_H
#define TAMRIX_DISK_FAT_LAYOUT_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct fat_layout {
    bool valid;               // the fields make sense; nothing else is set otherwise
    int fat_bits;             // 12, 16 or 32, from the count of clusters as FAT's rule has it
    uint32_t sector_bytes;
    uint32_t cluster_bytes;
    uint64_t total_sectors;   // what the volume claims, in its own sectors
    uint64_t fat_offset;      // the first FAT
    uint64_t fat_bytes;       // one copy
    uint32_t fat_copies;
    uint64_t root_offset;     // FAT12/16: the root folder's region
    uint64_t root_bytes;      // 0 on FAT32
    uint32_t root_cluster;    // FAT32: the first cluster of the root folder
    uint64_t data_offset;     // cluster 2; the metadata area ends here
    uint32_t clusters;        // data clusters, numbered 2 to clusters + 1
};

// Reads the layout fields of a 512-byte boot sector.
fat_layout read_fat_layout(const unsigned char* boot);

// The bytes the volume claims: its total sectors times their size.
inline uint64_t fat_volume_bytes(const fat_layout& layout) {
    return layout.total_sectors * layout.sector_bytes;
}

inline uint64_t cluster_offset(const fat_layout& layout, uint32_t cluster) {
    return layout.data_offset + (uint64_t)(cluster - 2) * layout.cluster_bytes;
}

// The entry of `cluster` in a FAT (`fat`, fat_bytes long): the next cluster
// of its chain, or a value past clusters + 1 at its end (or when damaged).
uint32_t next_cluster(const fat_layout& layout, const unsigned char* fat, uint32_t cluster);

// How many data clusters the FAT `fat` marks free.
uint32_t free_clusters(const fat_layout& layout, const unsigned char* fat);

// Whether `cluster` is one of the volume's data clusters.
inline bool is_data_cluster(const fat_layout& layout, uint32_t cluster) {
    return cluster >= 2 && cluster - 2 < layout.clusters;
}

// The clusters of the chain that begins at `first`, in order, up to the
// entry that ends it (any value that is no data cluster); an empty chain
// when `first` is none.  False when it runs past `most` clusters: a chain
// that loops, or longer than what it holds may be.
bool cluster_chain(const fat_layout& layout, const unsigned char* fat, uint32_t first,
                   uint32_t most, std::vector<uint32_t>* chain);

// The most clusters a folder may take: 65,536 entries of 32 bytes (Linux's
// FAT_MAX_DIR_SIZE, include/uapi/linux/msdos_fs.h).
inline uint32_t folder_clusters(const fat_layout& layout) {
    const uint32_t kFolderBytes = 65536 * 32;
    return kFolderBytes / layout.cluster_bytes > 0 ? kFolderBytes / layout.cluster_bytes : 1;
}

// Looks for the folder `name` among the 32-byte entries of a folder
// (`entries`, `size` bytes: its whole chain, so that a long name is never
// cut at a cluster's end), by its short name ("WINDOWS", "PROGRA~1") or its
// long name, without regard to the case of ASCII letters.  Gives its first
// cluster (0 on FAT12/16 for the root, as ".." holds it); false when no
// folder of that name comes before the folder's end mark.
bool find_folder_entry(const unsigned char* entries, size_t size, const char* name,
                       uint32_t* cluster);

#endif
