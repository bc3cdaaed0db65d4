// The files of a FAT volume inside a disk image, as a table of the seam's
// file functions (platform/file_backend.h): each does for the image what
// the Linux folder's table (platform/posix/posix_files.h) does for a
// folder, so that the core, its runs and its replacement of a file work on
// an image unchanged.
//
// Paths in the image are Windows paths on drive C:, such as
// "C:\WINDOWS\inf\machine.inf"; each name is matched without regard to case.  GNU mtools
// does all the work on the file system (mcopy, mdir, mren, mdel with
// -i IMAGE@@OFFSET), without root and without mounting anything:
//   - a file opened for reading is copied out of the image into a scratch
//     file (deleted at once, so that only its descriptor holds it);
//   - a file opened for writing grows in such a scratch file, and is copied
//     into the image whole by platform_flush (or by platform_close, where
//     no flush came first);
//   - renames and deletions are done in the image.
// After each change the image file is forced onto the disk (fsync), so that
// the changes reach it in the order they were made: out.inf is complete
// and on disk before the first rename of a swap.  Names made in the image
// are written in capitals, so that they stay 8.3 names with no long-name
// entries.  Every change runs mtools in a process group of its own, with
// SIGINT, SIGTERM and SIGHUP blocked: an interruption never stops one
// halfway; the caller holds interruptions back while it runs.
#ifndef TAMRIX_DISK_IMAGE_FILES_H
#define TAMRIX_DISK_IMAGE_FILES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "../platform/file_backend.h"
#include "image_session.h"

// A change that fails in the image is put back (image_journal.h); when a
// copy into it failed for want of room in the volume or on the host, the
// backend keeps why (image_take_copy_failure), for the caller to tell.
//
// Makes the FAT volume at the_image.volume_offset of the_image's disk
// (image_session.h) the place of every path on drive C:.  False, with a
// sentence for the user in `error`, when mtools is missing or cannot read
// the volume.
bool image_attach(std::string* error);

// Closes every descriptor of the image's disk this backend holds; its paths
// are then no longer the image's.
void image_detach();

// Whether `path` is one in the attached image, and `file` one of its files.
bool is_image_path(const char* path);
bool is_image_file(platform_file file);

// The files of the attached image's volume, as a table of the seam's file
// functions.  It takes the image's paths and files alone: the caller
// chooses it for those (is_image_path, is_image_file), and the folder's
// table for the rest.
extern const file_backend image_file_backend;

// Why the last copy into the image failed, when the want of room says it:
// `needed` bytes (a run's margin on the host, or the file's size in the
// volume) where `free` were free.  Taking it forgets it.
enum copy_failure_reason { copy_no_reason, copy_host_full, copy_volume_full };
struct image_copy_failure {
    copy_failure_reason why = copy_no_reason;
    std::string name;  // the file's name in the image
    uint64_t needed = 0, free = 0;
    bool put_back = false;  // the image is as it was before the copy again
};
bool image_take_copy_failure(image_copy_failure* failure);

// ---- the image as a whole --------------------------------------------------------

// A lock on a direct image, taken once and held until image_unlock (the
// image's detaching, as the process ends): flock against another Tamrix,
// and an OFD lock over the whole file (F_OFD_SETLK), which conflicts with
// the byte-range locks a virtual machine such as QEMU holds on its images:
// a write lock, or a read lock where the image is open for reading only
// (a dry run), taken when no other program holds one that conflicts with
// writing.  An image QEMU exports is held by a flock from before QEMU
// opened it.
enum image_lock_result {
    image_locked,
    image_held_by_tamrix,  // another Tamrix holds it
    image_in_use,          // another program has it open and locked
    image_not_locked,      // it is not open for writing, or the lock failed
};
image_lock_result image_lock();
void image_unlock();
// Whether another program holds a lock on the image file, as a virtual
// machine that has it open does; tested without taking one (F_OFD_GETLK).
bool image_locked_elsewhere();

struct image_entry {
    std::string name;  // as the image has it
    bool folder;
};
// The entries of a folder, without "." and ".."; false when there is no
// such folder.
bool image_list(const char* path, std::vector<image_entry>* entries);

// A file's DOS attributes, read and set through mattrib: read-only 0x01,
// hidden 0x02, system 0x04, archive 0x20.  False when the file is missing
// or mattrib fails.
bool image_get_attributes(const char* path, uint32_t* attributes);
bool image_set_attributes(const char* path, uint32_t attributes);

#endif
