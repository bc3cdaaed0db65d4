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
#ifndef TAMRIX_PLATFORM_IMAGE_IMAGE_FILES_H
#define TAMRIX_PLATFORM_IMAGE_IMAGE_FILES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "../platform/file_backend.h"

// A change that fails in the image is put back (image_journal.h); when a
// copy into it failed for want of room in the volume or on the host, the
// user is told so in a message box of its own, before the caller's.
//
// Makes the FAT volume at byte `offset` of the image `file` the place of
// every path on drive C:; messages name the image as `file` is written.
// When `file` is QEMU's export of the image, `shown` is the image file
// itself: messages name it, and its host file system is the one checked
// for room and for writing.  False, with a sentence for the user in
// `error`, when mtools is missing or cannot read the volume.
bool image_attach(const std::string& file, uint64_t offset, std::string* error,
                  const char* shown = nullptr);

// Closes every descriptor of the image this backend holds; its paths are
// then no longer the image's.
void image_detach();

// Whether `path` is one in the attached image, and `file` one of its files.
bool is_image_path(const char* path);
bool is_image_file(platform_file file);

// The files of the attached image's volume, as a table of the seam's file
// functions.
extern const file_backend image_file_backend;
// The image's name in messages: the file given to image_attach.
const char* image_shown_name();

// ---- the image as a whole --------------------------------------------------------

// Whether this process may write the image file, or why not.
enum image_access {
    image_writable,
    image_read_only,        // no one may write it (no write permission, even for root)
    image_not_yours,        // others may, this user may not
    image_on_read_only_fs,  // it lies on a file system mounted read-only
};
image_access image_write_access();
// The same for the image file `file`, open as `fd`, before it is attached.
image_access image_write_access(int fd, const std::string& file);

// An exclusive lock on the image file for one run: flock against another
// Tamrix, and an OFD write lock over the whole file (fcntl F_OFD_SETLK),
// which conflicts with the byte-range locks a virtual machine such as QEMU
// holds on the images it has open.  Held until image_unlock.
enum image_lock_result {
    image_locked,
    image_held_by_tamrix,  // another Tamrix holds it
    image_in_use,          // another program has it open and locked
    image_not_locked,      // it could not be opened for writing
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
// A file's bytes, at most `limit` of them; false when it is missing,
// unreadable or larger.
bool image_read_whole(const char* path, std::string* bytes, size_t limit);

// A file's DOS attributes, read and set through mattrib: read-only 0x01,
// hidden 0x02, system 0x04, archive 0x20.  False when the file is missing
// or mattrib fails.
bool image_get_attributes(const char* path, uint32_t* attributes);
bool image_set_attributes(const char* path, uint32_t attributes);

#endif
