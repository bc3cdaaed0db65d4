// The format of a disk image file, named from the file's own bytes.
//
// Raw disks, bare FAT volumes and fixed VHDs are changed in place directly
// (image_disk.h).  The formats of emulators and virtual machines (qcow2,
// VDI, dynamic VHD, VMDK, VHDX) are changed through QEMU's own block layer,
// which shows them as one raw disk (image_export.h); the driver QEMU is
// told to use is always the one named here, never one QEMU guesses (it
// reads a fixed VHD as raw, and the wrong driver gives errors that make no
// sense to the user).
//
// Refused, because a write through QEMU would give a wrong result or break
// something the file depends on:
//   - a differencing VHD (footer disk type 4): QEMU opens it as a dynamic
//     one and would write beside the parent it belongs to;
//   - a differencing or undo VDI (image type 3 or 4, or a parent UUID):
//     its blocks are changes to another image;
//   - a stream-optimized VMDK: read-only by design;
//   - a VMDK that is a snapshot's delta (a parent CID other than
//     ffffffff): VMware's chain of snapshots is checked by those IDs;
//   - an encrypted qcow2 (it needs a key) or a qcow of version 1;
//   - any format not named above.
// Refused as damaged (status 3 for status and --dry-run), by the format's
// own header rules:
//   - a qcow2 marked corrupt (incompatible feature bit 1), which QEMU
//     would open read-only at best; a dirty one (bit 0, lazy refcounts)
//     is sound: QEMU rebuilds its refcounts when it opens it for writing;
//   - a VHD footer whose checksum is wrong (QEMU refuses it too:
//     "Incorrect header checksum");
//   - a dynamic VHD whose end holds no footer: cut short.
// The rest of a damaged image is found by qemu-img check (qemu_check.h).
// A qcow2's own snapshots (nb_snapshots) are safe: qcow2 counts references
// to each cluster, and a write to the current state copies a cluster that
// a snapshot still uses.  A qcow2 with a backing file takes the change in
// itself and leaves the backing file alone.  Whether an image is the base
// of another one's snapshots cannot be seen from its own file.
//
// Nothing is read here: the caller hands over the file's first bytes and
// its last sector.
#ifndef TAMRIX_DISK_IMAGE_FORMATS_H
#define TAMRIX_DISK_IMAGE_FORMATS_H

#include <stddef.h>
#include <stdint.h>

#include <string>

// How many of the file's first bytes name its format: the VMDK's embedded
// descriptor lies within them.
const size_t kFormatHeadBytes = 64 * 1024;
const size_t kFormatTailBytes = 512;

enum image_way {
    image_direct,       // raw, a bare volume, a fixed VHD: changed in place by Tamrix
    image_through_qemu, // changed through qemu-storage-daemon with `qemu_driver`
    image_refused,      // not changed at all
};

struct image_format {
    image_way way = image_direct;
    const char* what = "";         // "a VirtualBox disk image (VDI)", for messages
    const char* qemu_driver = "";  // QEMU's driver for it ("qcow2", "vpc"...), or ""
    // When refused: why, a sentence to follow "IMAGE is <what>"; and
    // whether `qemu-img convert -f <qemu_driver> -O raw` reads it correctly.
    std::string refusal;
    bool convertible = false;
    bool damaged = false;  // refused because its own header says it is broken
    bool dirty = false;    // a qcow2 whose refcounts QEMU rebuilds (qemu_check.h)
};

// The format of a file that begins with `head` (its first kFormatHeadBytes
// bytes, or all of a shorter file: `head_size`) and ends with `tail` (its
// last kFormatTailBytes, or nullptr when it is shorter).
image_format name_image_format(const unsigned char* head, size_t head_size,
                               const unsigned char* tail);

#endif
