// The one disk image a run works on: opened, probed and checked once, then
// handed to the file backend (image_files.h).  Every part of the program
// that reads or changes the image reaches it through this record, so that
// the image file is opened once, its format read once and its writability
// tested once, whichever way (direct or through QEMU) it is changed.
#ifndef TAMRIX_DISK_IMAGE_SESSION_H
#define TAMRIX_DISK_IMAGE_SESSION_H

#include <stdint.h>

#include <string>

#include "image_formats.h"
#include "image_journal.h"

// Whether this process may write the image file, or why not.
enum image_access {
    image_writable,
    image_read_only,        // no one may write it (no write permission, even for root)
    image_not_yours,        // others may, this user may not
    image_on_read_only_fs,  // it lies on a file system mounted read-only
};

struct image_session {
    std::string shown;        // the image file as the command line named it; messages show it
    int fd = -1;              // the image file, read-write where this user may
    image_access access = image_read_only;  // what the open for writing found
    image_format format;      // read from fd
    bool exported = false;    // QEMU exports it as a raw disk (image_export.h)
    int disk_fd = -1;         // the raw disk mtools changes: fd, or QEMU's export of it
    uint64_t volume_offset = 0;  // of the FAT volume in the disk
    bool held = false;        // this run's locks on fd (image_lock): others are kept out
    image_journal journal;    // what the change being made may write, kept to put it back
};

// The image of this process: there is one at most, attached for the whole
// run (image_attach), and the file backend's calls are about it.
extern image_session the_image;

// Opens the image file `path` for the session: for reading and writing
// where this user may (every run locks it, a dry run's and the put-back of
// a cut-off swap in `status` too, which takes a descriptor open for
// writing), else for reading; why not is kept in `access`, for the caller
// to tell once it has told what else is wrong with the image.
// Anything but a file (a FIFO, a socket, a device, a folder) is refused at
// once, without an open that could wait for a writer or touch a device.
// Then reads its format.  False, with a sentence for the user in `error`,
// when it cannot be opened.
bool image_session_open(image_session* session, const std::string& path, std::string* error);

#endif
