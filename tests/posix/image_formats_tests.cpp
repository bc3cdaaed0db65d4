// The format probe alone: a file's first and last bytes to the format it
// names, or to the refusal.  Each header is built from its maker's public
// layout, named beside its builder; only the fields the probe reads are set.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "../../disk/image_formats.h"

namespace {

typedef std::vector<unsigned char> bytes;

void put_be(bytes& b, size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; i++) b[at + i] = (unsigned char)(value >> (8 * (size - 1 - i)));
}
void put_le(bytes& b, size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; i++) b[at + i] = (unsigned char)(value >> (8 * i));
}
void put_text(bytes& b, size_t at, const char* text) { memcpy(&b[at], text, strlen(text)); }

// A raw disk: an MBR with one FAT16 partition and the 55 AA signature.
bytes mbr() {
    bytes b(512);
    b[446 + 4] = 0x06;
    put_le(b, 446 + 8, 63, 4);
    put_le(b, 510, 0xAA55, 2);
    return b;
}

// A bare FAT12 volume: a floppy's boot sector (jump, OEM name, BPB).
bytes fat_volume() {
    bytes b(512);
    put_text(b, 0, "\xEB\x3C\x90MSWIN4.1");
    put_le(b, 11, 512, 2);
    put_le(b, 19, 2880, 2);
    put_le(b, 510, 0xAA55, 2);
    return b;
}

// Microsoft's published VHD image format (version 1.0), the hard disk
// footer (big-endian): cookie "conectix", data offset at 16, disk type at
// 60 (2 fixed, 3 dynamic, 4 differencing), checksum at 64 (the ones'
// complement of the sum of the footer's bytes, its own four left out).
bytes vhd_footer(uint32_t disk_type, bool good_checksum = true) {
    bytes b(512);
    put_text(b, 0, "conectix");
    put_be(b, 8, 2, 4);
    put_be(b, 12, 0x00010000, 4);
    put_be(b, 16, disk_type == 2 ? ~0ull : 512, 8);
    put_be(b, 40, 1 << 20, 8);
    put_be(b, 48, 1 << 20, 8);
    put_be(b, 60, disk_type, 4);
    uint32_t sum = 0;
    for (unsigned char byte : b) sum += byte;
    put_be(b, 64, good_checksum ? ~sum : ~sum + 1, 4);
    return b;
}

// QEMU's docs/interop/qcow2.txt (big-endian): magic "QFI\xfb", version at
// 4, crypt_method at 32, nb_snapshots at 60; version 3 adds
// incompatible_features at 72 (bit 0 dirty, bit 1 corrupt) and
// header_length at 100.
bytes qcow2(uint32_t version, uint32_t crypt_method = 0, uint64_t incompatible = 0) {
    bytes b(version >= 3 ? 104 : 72);
    put_text(b, 0, "QFI\xFB");
    put_be(b, 4, version, 4);
    put_be(b, 20, 16, 4);  // cluster_bits
    put_be(b, 24, 1 << 20, 8);
    put_be(b, 32, crypt_method, 4);
    if (version >= 3) {
        put_be(b, 72, incompatible, 8);
        put_be(b, 100, 104, 4);
    }
    return b;
}

// VirtualBox's VDI header (src/VBox/Storage/VDICore.h, little-endian):
// a 64-byte text, signature 0xBEDA107F at 0x40, version 1.1 at 0x44, the
// header's size at 0x48, image type at 0x4C (1 dynamic, 2 fixed, 3 undo,
// 4 differencing), the parent's UUID at 0x1A8.
bytes vdi(uint32_t type, bool parent = false) {
    bytes b(0x200);
    put_text(b, 0, "<<< Oracle VM VirtualBox Disk Image >>>\n");
    put_le(b, 0x40, 0xBEDA107F, 4);
    put_le(b, 0x44, 0x00010001, 4);
    put_le(b, 0x48, 0x190, 4);
    put_le(b, 0x4C, type, 4);
    put_le(b, 0x188, 0x1234, 4);
    if (parent) put_le(b, 0x1A8, 0x5678, 4);
    return b;
}

// VMware's "Virtual Disk Format 1.1": a descriptor file is the text alone;
// a sparse extent's header (little-endian) has magic "KDMV", flags at 8
// (bit 16: compressed grains, as a stream-optimized one has), and its
// embedded descriptor's offset and size in sectors at 28 and 36, here the
// second sector.
std::string descriptor(const char* create_type, const char* parent_cid = "ffffffff") {
    return std::string("# Disk DescriptorFile\nversion=1\nCID=fffffffe\nparentCID=") + parent_cid +
           "\ncreateType=\"" + create_type + "\"\nRW 2048 SPARSE \"w.vmdk\"\n";
}
bytes vmdk_sparse(const std::string& text, uint32_t flags = 3) {
    bytes b(1024);
    put_text(b, 0, "KDMV");
    put_le(b, 4, 1, 4);
    put_le(b, 8, flags, 4);
    put_le(b, 12, 2048, 8);
    put_le(b, 28, text.empty() ? 0 : 1, 8);
    put_le(b, 36, text.empty() ? 0 : 1, 8);
    memcpy(&b[512], text.data(), text.size());
    return b;
}
bytes text_file(const std::string& text) { return bytes(text.begin(), text.end()); }

// A file shorter than its header.
bytes cut(bytes b, size_t size) {
    b.resize(size);
    return b;
}

// Microsoft's published VHDX format (version 1.0): the file type identifier
// "vhdxfile" at 0, then the creator in UTF-16.
bytes vhdx() {
    bytes b(512);
    put_text(b, 0, "vhdxfile");
    return b;
}

TEST(ImageFormats, NamedFromTheFilesOwnBytes) {
    const bytes none;
    struct row {
        const char* name;
        bytes head, tail;  // tail empty: the file is shorter than its last sector
        image_way way;
        const char* driver;
        const char* refusal;  // a part of the refusal's text; "" when not refused
        bool damaged, dirty;
    };
    const row rows[] = {
        {"raw, MBR", mbr(), mbr(), image_direct, "raw", "", false, false},
        {"bare FAT volume", fat_volume(), fat_volume(), image_direct, "raw", "", false, false},
        {"unknown bytes", bytes(512, 0xF6), none, image_direct, "raw", "", false, false},
        {"fixed VHD", mbr(), vhd_footer(2), image_direct, "vpc", "", false, false},
        {"fixed VHD, bad checksum", mbr(), vhd_footer(2, false), image_refused, "vpc",
         "damaged: the checksum of its footer is", true, false},
        {"dynamic VHD", vhd_footer(3), vhd_footer(3), image_through_qemu, "vpc", "", false, false},
        {"dynamic VHD, bad checksum", vhd_footer(3, false), vhd_footer(3), image_refused, "vpc",
         "the checksum of its footer's copy at its start", true, false},
        {"dynamic VHD, cut short", vhd_footer(3), mbr(), image_refused, "vpc",
         "its end holds no footer", true, false},
        {"differencing VHD", vhd_footer(4), vhd_footer(4), image_refused, "vpc",
         "the changes to a parent VHD", false, false},
        {"VHD of an unknown type", vhd_footer(5), vhd_footer(5), image_refused, "vpc",
         "of a kind Tamrix does not know", false, false},
        {"qcow2 v2", qcow2(2), none, image_through_qemu, "qcow2", "", false, false},
        {"qcow2 v3", qcow2(3), none, image_through_qemu, "qcow2", "", false, false},
        {"qcow2 v3, dirty", qcow2(3, 0, 1), none, image_through_qemu, "qcow2", "", false, true},
        {"qcow2 v3, corrupt", qcow2(3, 0, 2), none, image_refused, "qcow2",
         "marked as damaged", true, false},
        {"qcow2, AES-encrypted", qcow2(2, 1), none, image_refused, "qcow2", "encrypted", false,
         false},
        {"qcow2 v3, LUKS-encrypted", qcow2(3, 2), none, image_refused, "qcow2", "encrypted",
         false, false},
        {"qcow, version 1", qcow2(1), none, image_refused, "qcow", "does not change in place",
         false, false},
        {"qcow2, version 4", qcow2(4), none, image_refused, "qcow2", "of a version", false, false},
        {"qcow2, cut short", cut(qcow2(2), 40), none, image_refused,
         "qcow2", "cut short", false, false},
        {"VDI, dynamic", vdi(1), none, image_through_qemu, "vdi", "", false, false},
        {"VDI, static", vdi(2), none, image_through_qemu, "vdi", "", false, false},
        {"VDI, differencing", vdi(4), none, image_refused, "vdi", "the changes of a snapshot",
         false, false},
        {"VDI, undo", vdi(3), none, image_refused, "vdi", "the changes of a snapshot", false,
         false},
        {"VDI, dynamic with a parent", vdi(1, true), none, image_refused, "vdi",
         "the changes of a snapshot", false, false},
        {"VMDK, sparse", vmdk_sparse(descriptor("monolithicSparse")), none, image_through_qemu,
         "vmdk", "", false, false},
        {"VMDK, stream-optimized by its flags", vmdk_sparse("", 0x30003), none, image_refused,
         "vmdk", "made to be copied, not written", false, false},
        {"VMDK, stream-optimized by its descriptor", vmdk_sparse(descriptor("streamOptimized")),
         none, image_refused, "vmdk", "made to be copied, not written", false, false},
        {"VMDK, a snapshot's delta", vmdk_sparse(descriptor("monolithicSparse", "a1b2c3d4")),
         none, image_refused, "vmdk", "the changes of a snapshot to its parent disk", false,
         false},
        {"VMDK, an extent without a descriptor", vmdk_sparse(""), none, image_refused, "vmdk",
         "use that one", false, false},
        {"VMDK, descriptor file", text_file(descriptor("monolithicFlat")), none,
         image_through_qemu, "vmdk", "", false, false},
        {"VMDK, descriptor of an unknown kind", text_file(descriptor("vmfs")), none,
         image_refused, "vmdk", "(createType \"vmfs\")", false, false},
        {"VMDK, COWD", text_file("COWD\x01"), none, image_refused, "vmdk",
         "does not change in place", false, false},
        {"VHDX", vhdx(), none, image_through_qemu, "vhdx", "", false, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        image_format named = name_image_format(r.head.data(), r.head.size(),
                                               r.tail.empty() ? nullptr : r.tail.data());
        EXPECT_EQ(named.way, r.way);
        EXPECT_STREQ(named.qemu_driver, r.driver);
        if (*r.refusal == '\0')
            EXPECT_EQ(named.refusal, "");
        else
            EXPECT_NE(named.refusal.find(r.refusal), std::string::npos) << named.refusal;
        EXPECT_EQ(named.damaged, r.damaged);
        EXPECT_EQ(named.dirty, r.dirty);
    }
}

}  // namespace
