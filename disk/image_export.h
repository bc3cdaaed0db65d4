// A disk image of an emulator's format (qcow2, VDI, VMDK, VHDX, dynamic
// VHD) shown as one raw disk, through QEMU's own block layer: the
// program's child qemu-storage-daemon exports it through FUSE as a plain
// file, and mtools works on that file as on a raw disk.  Every write goes
// through QEMU's driver for the format, into the image in place.
//
// The export lives as long as the run, and leaves nothing behind:
//   - the daemon is started as qemu_child.h starts a child: its own
//     process group, and told to end (SIGTERM) if this program dies first,
//     even by SIGKILL, when QEMU writes out what it holds and unmounts;
//     as QEMU sometimes loses that one signal, a watcher (daemon_watch.h)
//     repeats it once we have gone;
//   - its mount point is a file in a scratch folder of the run's own,
//     named with its process id, mounted for this user alone
//     (allow-other=off); the folders that killed runs left are removed by
//     the next run (scratch_folder.h);
//   - it is ready once its pidfile is there (waited for, with a bound);
//   - at the end, once the caller has closed every descriptor of the
//     exported file, it is sent SIGTERM and must exit with status 0 (QEMU
//     writes out what it still holds, then unmounts); if it died before, or
//     did not end cleanly, the mount point is unmounted (fusermount3 -u)
//     and the user is told what state the image may be in.  The mount
//     point and the scratch folder are then removed.
// QEMU takes its own locks on the image (and its backing files and
// extents) for as long as the daemon runs: it refuses an image a virtual
// machine has open ("Failed to get "write" lock"), and a machine started
// meanwhile is refused too.
#ifndef TAMRIX_DISK_IMAGE_EXPORT_H
#define TAMRIX_DISK_IMAGE_EXPORT_H

#include <sys/types.h>

#include <string>

#include "daemon_watch.h"

// One export, kept in the image session (image_session.h).
struct image_export {
    pid_t daemon = -1;    // the running qemu-storage-daemon, our child; -1 when none runs
    daemon_watch watch;   // ends the daemon should we die, however we die
    std::string scratch;  // the run's own folder: the mount point, pidfile and log
    std::string shown;    // the image, as messages show it
    std::string driver;   // QEMU's driver for it
    bool running() const { return daemon > 0; }
};

enum export_outcome {
    export_ready,
    export_in_use,        // QEMU could not lock it: a virtual machine has it open
    export_cannot_start,  // qemu-storage-daemon, fusermount3 or /dev/fuse is missing
    export_failed,        // QEMU could not open it, or the export did not come up
};

// Exports the image `file` (named `shown` in messages), which is `what`
// ("a dynamic VHD"), with QEMU's `driver`, writable unless `read_only`.
// When ready, `*view` is the path of the exported raw disk; otherwise
// nothing is left running or mounted, and `*error` is a sentence for the
// user, except for export_in_use, which the caller words (it tells another
// Tamrix from a virtual machine by its own lock).
export_outcome image_export_start(image_export* it, const std::string& file,
                                  const std::string& shown, const char* what, const char* driver,
                                  bool read_only, std::string* view, std::string* error);

// Removes the scratch folders of exports that ended runs left, unmounting
// what is still mounted there.
void image_export_sweep();

// Ends the export (see above).  False, with a sentence for the user in
// `*error` (what happened and the state of the image), when the daemon
// had died or did not end cleanly.  Does nothing when none runs.
bool image_export_end(image_export* it, std::string* error);

// What qemu-storage-daemon wrote in its log (`said`), for the user: its
// own name and the option that failed left out, the lines joined into one.
std::string daemon_words(std::string said);

#endif
