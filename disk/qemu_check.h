// Whether an image QEMU changes is sound by its format's own rules, as
// `qemu-img check` finds it, before anything is exported or written.
//
// The check opens the image read-only and takes QEMU's shared lock on it
// (never -U), so that it does not read an image a virtual machine is
// writing.  qemu-img check's exit status says what it found: 0 nothing,
// 3 leaked clusters alone (space that is lost, not data: harmless, and
// allowed), 2 corruptions, 1 a check that could not finish, or an image
// it could not open; its JSON output counts them.  Formats whose QEMU
// driver has no check (VHD, "vpc") answer "does not support checks": the
// format's header checks (image_formats.h) stand in for it there.
//
// A dirty qcow2 (lazy refcounts, a run that ended without writing its
// refcounts) shows refcounts that disagree with the clusters in use
// ("ERROR cluster N refcount=R reference=F", "ERROR OFLAG_COPIED ...").
// QEMU rebuilds them when it opens the image for writing, so on a dirty
// image those lines alone do not make it damaged; anything else does.
#ifndef TAMRIX_DISK_QEMU_CHECK_H
#define TAMRIX_DISK_QEMU_CHECK_H

#include <string>

enum qemu_check_outcome {
    check_sound,        // no errors (leaks allowed)
    check_not_offered,  // QEMU's driver for the format has no check
    check_damaged,      // errors or corruptions: `said` holds qemu-img's words
    check_in_use,       // QEMU could not lock it: another program has it open
    check_unopened,     // qemu-img could not open it: `said` says why
    check_no_tool,      // qemu-img is not installed
};

struct qemu_check_result {
    qemu_check_outcome outcome = check_sound;
    std::string said;  // qemu-img's words, on one line
};

// Checks the image `file` with QEMU's driver `driver`; `dirty` when its
// header marks it so (a qcow2's incompatible feature bit 0).
qemu_check_result qemu_check(const std::string& file, const char* driver, bool dirty);

// What qemu-img check's exit status `code` and its output `shown` (its
// errors among it) say, for an image that is `dirty` or not.
qemu_check_result read_qemu_check(int code, const std::string& shown, bool dirty);

#endif
