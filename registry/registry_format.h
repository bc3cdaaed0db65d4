// The registry file's field offsets and constants (described in
// registry_file.h), and the little-endian reads and writes that the check,
// the listing and the deletion share, over the Linux program's one set of
// byte readers.  Callers read only where the check (or a bounds test of
// their own) has shown the bytes to be.
#ifndef TAMRIX_REGISTRY_REGISTRY_FORMAT_H
#define TAMRIX_REGISTRY_REGISTRY_FORMAT_H

#include <stdint.h>

#include <string>

#include "../base/byte_order.h"

namespace creg {

// The file header.
const uint32_t kFileHeaderSize = 32;
const uint32_t kVersion = 0x00010000;  // the only version regutils knows, 95's and 98's
const uint32_t kHeaderBlocksAt = 0x08, kHeaderChecksum = 0x0C, kHeaderBlockCount = 0x10,
               kHeaderFlags = 0x12;

// RGKN, at a fixed place right after the file header.
const uint32_t kRgkn = 0x20;
const uint32_t kRgknHeaderSize = 32;
const uint32_t kRgknSize = 0x04, kRgknRoot = 0x08, kRgknFreeList = 0x0C, kRgknFlags = 0x10,
               kRgknChecksum = 0x14;

// A node of RGKN.
const uint32_t kNodeSize = 28;
const uint32_t kNodeUse = 0x00, kNodeHash = 0x04, kNodeNextFree = 0x08, kNodeParent = 0x0C,
               kNodeChild = 0x10, kNodeNext = 0x14, kNodeId = 0x18, kNodeBlock = 0x1A;
const uint32_t kNodeInUse = 0, kNodeFree = 0x80000000;
const uint32_t kNone = 0xFFFFFFFF;

// An RGDB block's header.
const uint32_t kBlockHeaderSize = 32;
const uint32_t kBlockSize = 0x04, kBlockUnused = 0x08, kBlockFlags = 0x0C, kBlockNumber = 0x0E,
               kBlockFreeAt = 0x10, kBlockMaxId = 0x14, kBlockFirstFreeId = 0x16,
               kBlockChecksum = 0x1C;

// A record of an RGDB block, and a value in it.
const uint32_t kRecordHeaderSize = 20;
const uint32_t kRecordSize = 0x00, kRecordId = 0x04, kRecordBlock = 0x06, kRecordUsed = 0x08,
               kRecordNameLength = 0x0C, kRecordValueCount = 0x0E;
const uint32_t kRecordNextFree = 0x08;  // a free record's link (a used one's bytes in use)
const uint32_t kValueHeaderSize = 12;
const uint16_t kFreeId = 0xFFFF;
const uint16_t kIdLimit = 255;  // ids run from 0 to 254 (registry_file.h)

// Bit 0x4 of a structure's flags: its checksum is kept (regutils' REG_FLAG_CSUMVALID).
const uint32_t kChecksumKept = 0x4;

inline const unsigned char* at_byte(const std::string& bytes, uint64_t at) {
    return reinterpret_cast<const unsigned char*>(bytes.data()) + at;
}
inline unsigned char* at_byte(std::string* bytes, uint64_t at) {
    return reinterpret_cast<unsigned char*>(&(*bytes)[0]) + at;
}
inline uint16_t u16(const std::string& bytes, uint64_t at) { return le16(at_byte(bytes, at)); }
inline uint32_t u32(const std::string& bytes, uint64_t at) { return le32(at_byte(bytes, at)); }
inline void put16(std::string* bytes, uint64_t at, uint16_t value) {
    put_le16(at_byte(bytes, at), value);
}
inline void put32(std::string* bytes, uint64_t at, uint32_t value) {
    put_le32(at_byte(bytes, at), value);
}

// The file offset of the RGKN node at `node`.
inline uint64_t node_at(uint32_t node) { return kRgkn + (uint64_t)node; }

// The sum of the 32-bit words of bytes[at, at + size); size is a multiple of 4.
uint32_t word_sum(const std::string& bytes, uint64_t at, uint32_t size);

// Makes the words of the structure at `at` add up to zero again through its
// checksum field at `at + field`, where its flags keep one.
void renew_checksum(std::string* bytes, uint64_t at, uint32_t size, uint32_t flags, uint32_t field);

}  // namespace creg

#endif
