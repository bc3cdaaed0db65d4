// The DOS attributes of a file of the Windows folder, which Windows keeps
// on its registry files: read-only, hidden, system (and archive).  In a disk
// image they are the FAT directory entry's, through mtools' mattrib; in a
// Linux folder only a mounted FAT volume keeps them (the vfat driver's
// FAT_IOCTL_ attribute calls), and every other file system has none.
#ifndef TAMRIX_LINUX_DOS_ATTRIBUTES_H
#define TAMRIX_LINUX_DOS_ATTRIBUTES_H

#include <stdint.h>

const uint32_t kDosReadOnly = 0x01, kDosHidden = 0x02, kDosSystem = 0x04, kDosArchive = 0x20;

enum attributes_read {
    attributes_kept,     // read into `attributes`
    attributes_none,     // the file's place keeps none (a folder not on FAT)
    attributes_failed,   // kept there, but not read
};
// The attributes of `path`, a path of the seam's file calls.
attributes_read get_dos_attributes(const char* path, uint32_t* attributes);
// Gives `path` exactly `attributes` (of the four above); false when it
// cannot.
bool set_dos_attributes(const char* path, uint32_t attributes);

#endif
