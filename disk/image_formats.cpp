// Naming a disk image's format from its own bytes (see image_formats.h).
// The layouts are those the formats' makers publish: QEMU's qcow2 header
// (big-endian), VirtualBox's VDI header (little-endian, after a 64-byte
// text), VMware's sparse extent header (little-endian) and its text
// descriptor, Microsoft's VHD footer (big-endian) and VHDX file identifier.
#include "image_formats.h"

#include <stdio.h>
#include <string.h>

#include "../base/split_at.h"
#include "../base/byte_order.h"

namespace {

bool begins(const unsigned char* head, size_t head_size, size_t at, const char* magic,
            size_t length) {
    return head_size >= at + length && memcmp(head + at, magic, length) == 0;
}

image_format format(image_way way, const char* what, const char* qemu_driver) {
    image_format named;
    named.way = way;
    named.what = what;
    named.qemu_driver = qemu_driver;
    return named;
}

image_format refused(const char* what, const char* qemu_driver, const std::string& why,
                     bool convertible) {
    image_format named = format(image_refused, what, qemu_driver);
    named.refusal = why;
    named.convertible = convertible;
    return named;
}

image_format damaged(const char* what, const char* qemu_driver, const std::string& why) {
    image_format named = refused(what, qemu_driver, why, false);
    named.damaged = true;
    return named;
}

// ---- qcow2 ---------------------------------------------------------------------------
// version at 4, crypt_method at 32, nb_snapshots at 60; from version 3 the
// incompatible feature bits at 72 (bit 1: marked corrupt).

const char kQcow[] = "a QEMU copy-on-write image (qcow2)";

image_format name_qcow(const unsigned char* head, size_t head_size) {
    if (head_size < 72) return refused(kQcow, "qcow2", "cut short: its header is incomplete.", false);
    uint32_t version = be32(head + 4);
    if (version == 1)
        return refused("an image of QEMU's first copy-on-write format (qcow, version 1)", "qcow",
                       "a format Tamrix does not change in place.", true);
    if (version != 2 && version != 3)
        return refused(kQcow, "qcow2", "of a version Tamrix does not know.", false);
    if (be32(head + 32) != 0)
        return refused(kQcow, "qcow2", "encrypted: QEMU needs its key to open it.", false);
    // Bit 0 (dirty) is left alone: see image_formats.h.
    if (version == 3 && head_size >= 80 && (be64(head + 72) & 2) != 0)
        return damaged(kQcow, "qcow2",
                       "marked as damaged; 'qemu-img check -r all' repairs it.");
    image_format named = format(image_through_qemu, kQcow, "qcow2");
    named.dirty = version == 3 && head_size >= 80 && (be64(head + 72) & 1) != 0;
    return named;
}

// ---- VDI --------------------------------------------------------------------------------
// After the 64-byte text: the signature, version 1.1, the header's size,
// the image type at 0x4C (1 dynamic, 2 fixed, 3 undo, 4 differencing), and
// the UUIDs of the image (0x188), its last change (0x198), its parent
// (0x1A8) and the parent's last change (0x1B8).

const char kVdi[] = "a VirtualBox disk image (VDI)";

bool zero_bytes(const unsigned char* p, size_t length) {
    for (size_t i = 0; i < length; i++)
        if (p[i] != 0) return false;
    return true;
}

image_format name_vdi(const unsigned char* head, size_t head_size) {
    if (head_size < 0x1C8) return refused(kVdi, "vdi", "cut short: its header is incomplete.", false);
    if (le32(head + 0x44) != 0x00010001)
        return refused(kVdi, "vdi", "of a version Tamrix does not know.", false);
    uint32_t type = le32(head + 0x4C);
    if (type == 3 || type == 4 || !zero_bytes(head + 0x1A8, 32))
        return refused("a differencing VirtualBox disk image (VDI)", "vdi",
                       "the changes of a snapshot to its parent image, which is where the "
                       "Windows folder lies: merge the snapshot into its parent in VirtualBox, "
                       "or patch the machine's current state there.",
                       false);
    if (type != 1 && type != 2) return refused(kVdi, "vdi", "of a kind Tamrix does not know.", false);
    return format(image_through_qemu, kVdi, "vdi");
}

// ---- VMDK -------------------------------------------------------------------------------
// A sparse extent ("KDMV") holds flags at 8 (bit 16: compressed grains),
// the offset and size of its embedded text descriptor in sectors at 28 and
// 36; a descriptor file is that text alone.  The text names the kind of
// disk (createType) and its parent (parentCID, ffffffff for none).

const char kVmdk[] = "a VMware disk image (VMDK)";

// The value of `key` in a descriptor: `key = "value"` at the start of a line.
std::string descriptor_value(const std::string& text, const char* key) {
    size_t length = strlen(key);
    for (const std::string& entry : split_at(text, '\n')) {
        size_t at = entry.find_first_not_of(" \t");
        if (at == std::string::npos || entry.compare(at, length, key) != 0) continue;
        at = entry.find_first_not_of(" \t", at + length);
        if (at == std::string::npos || entry[at] != '=') continue;
        std::string value = entry.substr(at + 1);
        size_t first = value.find_first_not_of(" \t\"");
        size_t last = value.find_last_not_of(" \t\r\"");
        return first == std::string::npos || last < first ? "" : value.substr(first, last - first + 1);
    }
    return "";
}

image_format name_vmdk_descriptor(const std::string& text) {
    std::string kind = descriptor_value(text, "createType");
    std::string parent = descriptor_value(text, "parentCID");
    if (kind == "streamOptimized")
        return refused("a stream-optimized VMware disk image (VMDK)", "vmdk",
                       "made to be copied, not written: VMware and QEMU open it read-only.", true);
    if (!parent.empty() && parent != "ffffffff")
        return refused("a VMware snapshot's delta disk (VMDK)", "vmdk",
                       "the changes of a snapshot to its parent disk, which VMware checks by "
                       "their IDs: delete the snapshots in VMware (which merges them), or patch "
                       "the machine's current state there.",
                       false);
    if (kind != "monolithicSparse" && kind != "monolithicFlat" && kind != "twoGbMaxExtentSparse" &&
        kind != "twoGbMaxExtentFlat")
        return refused(kVmdk, "vmdk",
                       "of a kind Tamrix does not change in place (createType \"" + kind + "\").",
                       true);
    return format(image_through_qemu, kVmdk, "vmdk");
}

image_format name_vmdk_extent(const unsigned char* head, size_t head_size) {
    if (head_size < 80) return refused(kVmdk, "vmdk", "cut short: its header is incomplete.", false);
    if ((le32(head + 8) & 0x10000) != 0)
        return name_vmdk_descriptor("createType=\"streamOptimized\"");
    uint64_t offset = le64(head + 28), sectors = le64(head + 36);
    if (offset == 0 || sectors == 0)
        return refused("one extent of a VMware disk image (VMDK)", "vmdk",
                       "the disk's descriptor file (the small .vmdk beside it) names its "
                       "extents: use that one.",
                       false);
    if (offset > head_size / 512 || sectors > head_size / 512 - offset)
        return refused(kVmdk, "vmdk", "of a layout Tamrix does not know: its descriptor lies "
                                      "beyond the header.", true);
    const char* text = (const char*)head + offset * 512;
    return name_vmdk_descriptor(std::string(text, strnlen(text, (size_t)sectors * 512)));
}

// ---- VHD --------------------------------------------------------------------------------
// A 512-byte footer ("conectix") ends every VHD; dynamic and differencing
// ones begin with a copy of it.  Its disk type at 60: 2 fixed, 3 dynamic,
// 4 differencing; at 64 its checksum: the ones' complement of the sum of
// its bytes, the checksum's own four counted as zero.
//
// QEMU's rules (block/vpc.c, vpc_open and its block allocation), which
// Tamrix follows: a dynamic VHD is read from the copy at offset 0 alone,
// refused when that copy's checksum is wrong, and its footer at the end
// is overwritten with that copy whenever the image grows.  So a footer at
// the end that differs from the copy is accepted, as QEMU accepts it; a
// run that grows the image makes them agree.  An end that holds no footer
// at all is refused:
// the file was cut short, and QEMU would read the blocks past its end as
// zeros.

const char kVhdCookie[] = "conectix";
const size_t kVhdFooterBytes = 512;

uint32_t vhd_checksum(const unsigned char* footer) {
    uint32_t sum = 0;
    for (size_t i = 0; i < kVhdFooterBytes; i++) sum += i >= 64 && i < 68 ? 0 : footer[i];
    return ~sum;
}

image_format name_vhd(const unsigned char* footer, bool at_start, const unsigned char* tail) {
    uint32_t type = be32(footer + 60);
    const char* what = type == 2 ? "a fixed VHD" : type == 3 ? "a dynamic VHD" : "a VHD";
    char why[160];
    if (vhd_checksum(footer) != be32(footer + 64)) {
        snprintf(why, sizeof why,
                 "damaged: the checksum of its footer%s is 0x%08X, its bytes give 0x%08X.",
                 at_start ? "'s copy at its start" : "", be32(footer + 64), vhd_checksum(footer));
        return damaged(what, "vpc", why);
    }
    if (at_start && type == 3 && (tail == nullptr || memcmp(tail, kVhdCookie, 8) != 0))
        return damaged(what, "vpc", "damaged: its end holds no footer, so the file was cut short.");
    if (type == 2 && !at_start) return format(image_direct, what, "vpc");
    if (type == 3) return format(image_through_qemu, what, "vpc");
    if (type == 4)
        return refused("a differencing VHD", "vpc",
                       "the changes to a parent VHD, which is where the Windows folder lies "
                       "(QEMU would read it as a whole disk of its own): merge it into its "
                       "parent in the program that made it, then patch the parent.",
                       false);
    return refused("a VHD", "vpc", "of a kind Tamrix does not know.", false);
}

}  // namespace

image_format name_image_format(const unsigned char* head, size_t head_size,
                               const unsigned char* tail) {
    if (begins(head, head_size, 0, "QFI\xFB", 4)) return name_qcow(head, head_size);
    if (begins(head, head_size, 0x40, "\x7F\x10\xDA\xBE", 4)) return name_vdi(head, head_size);
    if (begins(head, head_size, 0, "KDMV", 4)) return name_vmdk_extent(head, head_size);
    if (begins(head, head_size, 0, "# Disk DescriptorFile", 21))
        return name_vmdk_descriptor(
            std::string((const char*)head, strnlen((const char*)head, head_size)));
    if (begins(head, head_size, 0, "COWD", 4))
        return refused("a disk image of VMware's older sparse format (COWD)", "vmdk",
                       "a format Tamrix does not change in place.", true);
    if (begins(head, head_size, 0, "vhdxfile", 8))
        return format(image_through_qemu, "a Hyper-V disk image (VHDX)", "vhdx");
    if (head_size >= kVhdFooterBytes && begins(head, head_size, 0, kVhdCookie, 8))
        return name_vhd(head, true, tail);
    if (tail != nullptr && memcmp(tail, kVhdCookie, 8) == 0) return name_vhd(tail, false, nullptr);
    return format(image_direct, "a raw disk image", "raw");
}
