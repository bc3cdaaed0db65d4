// The one disk image a run works on, as one record: its file opened, its
// format read and its writability tested once, whichever way (directly or
// through QEMU) it is changed; the file backend (image_files.h) works on it.
#ifndef TAMRIX_DISK_IMAGE_SESSION_H
#define TAMRIX_DISK_IMAGE_SESSION_H

#include "image_export.h"
#include "image_formats.h"
#include "image_journal.h"

// Whether this process may write the image file, or why not.
enum image_access {
    image_writable,
    image_read_only,        // no one may write it (no write permission, even for root)
    image_not_yours,        // others may, this user may not
    image_on_read_only_fs,  // it lies on a file system mounted read-only
    image_write_protected,  // a device that refuses writes (a card's lock switch)
};

struct image_session {
    std::string shown;        // the image file as the command line named it; messages show it
    bool device = false;      // a block device: a real disk or a partition (block_device.h)
    int fd = -1;              // the image file, read-write where this user may
    image_access access = image_read_only;  // what the open for writing found
    image_format format;      // read from fd
    image_export qemu;        // QEMU's export of it as a raw disk, where it runs
    int disk_fd = -1;         // the raw disk mtools changes: fd, or QEMU's export of it
    uint64_t volume_offset = 0;  // of the FAT volume in the disk
    bool held = false;        // this run's locks on fd (image_lock): others are kept out
    image_journal journal;    // what the change being made may write, kept to put it back
};

// The image of this process, which has one at most, for the whole run.
extern image_session the_image;

// Opens the image file or block device `path` for reading and writing
// where this user may (every run locks it, which takes that), else for
// reading, keeping why not in `access` for the caller to tell in its turn;
// then reads its format.  Anything else (a FIFO, a character device, a
// folder) is refused at once, without an open that could wait for a writer
// or touch a device.  False, with a sentence for the user in `error`, when
// it cannot be opened; `held` then when a block device is mounted or held
// by another program.
bool image_session_open(image_session* session, const std::string& path, std::string* error,
                        bool* held);

#endif
