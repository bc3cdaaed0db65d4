// A rollback journal for each change that mtools makes in a disk image's FAT
// volume, so that a change that fails halfway leaves the volume as it was.
//
// mtools writes a file into the volume in place: it takes free clusters in
// the FAT, adds an entry to the folder, then writes the data.  When the
// data cannot be written (the host file system is full and the clusters
// fall in a hole of a sparse image; the tool is killed), it leaves the
// entry and the chain behind, and a later mdel of that file has been seen
// to wreck FAT[0] in both FATs.  So, as SQLite keeps the pages a
// transaction will change, each change keeps the sectors it may change
// before it starts, and puts them back if it fails:
//
//   kept         the image as the last change left it; in memory, a copy of
//                the volume's metadata area (boot and reserved sectors, so
//                the FAT32 FSInfo, every copy of the FAT, the FAT12/16 root
//                folder) and of every cluster of the folder the change is
//                made in
//   tool runs    mtools writes FAT entries, the folder's entries (perhaps in
//                a cluster it adds to the folder), FSInfo, and data into
//                clusters that were free
//   succeeded    the tool said so and the image is forced onto the disk:
//                the copy is forgotten
//   failed       each kept sector that differs from the copy now is written
//                back, and the image forced onto the disk
//
// What each ending leaves:
//   a failed change: the FATs, FSInfo and the folder exactly as before it,
//     so every file holds its clusters and bytes as before; clusters mtools
//     filled are free again (their bytes stay; no file owns them).  Putting
//     back needs no new space on the host: only sectors that mtools wrote,
//     which the host has therefore allocated, are written;
//   a put-back that fails too (the host's disk fails): journal_put_back
//     says so, and the volume may be damaged as mtools left it;
//   Tamrix killed outright (SIGKILL, power lost) while a tool runs: the
//     copy lives only in memory, so what mtools left stays.  SQLite keeps
//     its journal on disk for this; here a change takes milliseconds and
//     the signals that may be caught are held back until it has ended.
//
// Only one folder is kept: each change of a run (a copy in, a rename within
// one folder, a deletion) is made in one folder.  The copy is a few hundred
// KB on FAT12 and FAT16; on FAT32 four bytes for each cluster in each FAT
// (16 MiB for an 8 GB volume of 4 KiB clusters), read from the page cache
// in a few milliseconds.
#ifndef TAMRIX_DISK_IMAGE_JOURNAL_H
#define TAMRIX_DISK_IMAGE_JOURNAL_H

#include <vector>

#include "fat_layout.h"
#include "image_io.h"

// The copy of what the current change may write: stretches of the image,
// their bytes one after the other in `copy`.
struct kept_region {
    uint64_t offset, bytes;  // in the image
    size_t at;               // in `copy`
};
struct image_journal {
    std::vector<kept_region> regions;
    fat_layout layout;  // of the volume kept; the first region holds its FATs
    unsigned char* copy = nullptr;  // the regions' bytes, one after the other
    size_t used = 0;                // bytes of the copy's mapping the regions fill
    size_t room = 0;                // bytes mapped
};

// Keeps in `journal` the sectors a change inside `folder` ("/WINDOWS/INF",
// "/" for the root) may write in the volume at byte `volume_offset` of the image open
// as `fd`.  False, keeping nothing, when the volume or the folder cannot be
// read: the change must not be made then.
bool journal_keep(image_journal* journal, int fd, uint64_t volume_offset, const char* folder);
// The same, reading the volume from `volume`, whose base is its place in
// the image (memory_source: the fuzz target's volume, at 0).
bool journal_keep_from(image_journal* journal, const byte_source& volume, const char* folder);

// The bytes of the clusters the kept FAT marks free: how much a copy into
// the volume could take before the change.
uint64_t journal_free_bytes(const image_journal& journal);

// After a failed change: writes each kept sector that differs now back
// through `fd` (open for writing), then fsyncs it.  False when a read, a
// write or the fsync failed.  The copy is forgotten either way.
bool journal_put_back(image_journal* journal, int fd);

// After a change that succeeded: forgets the copy.
void journal_forget(image_journal* journal);

#endif
