// Numbers that more than one part of the Linux program must agree on.
#ifndef TAMRIX_BASE_SIZES_H
#define TAMRIX_BASE_SIZES_H

#include <stdint.h>

// The sector of a disk, a partition table's unit and a FAT volume's smallest
// one: every disk and image Tamrix reads counts in 512-byte sectors.
const uint64_t kSector = 512;

// How often the export's daemon is asked to end until it does: QEMU can
// miss one SIGTERM (daemon_watch.h).
const int kTermEveryMilliseconds = 200;

#endif
