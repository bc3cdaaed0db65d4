// The numbers of the on-disk layouts that disk/ reads: FAT, the partition
// tables, VDI and VMDK are little-endian; qcow2 and VHD big-endian.
// (registry/ keeps readers of its own in registry_format.h: it includes
// nothing outside itself.)
#ifndef TAMRIX_DISK_BYTE_ORDER_H
#define TAMRIX_DISK_BYTE_ORDER_H

#include <stdint.h>

inline uint16_t le16(const unsigned char* p) { return (uint16_t)(p[0] | p[1] << 8); }
inline uint32_t le32(const unsigned char* p) {
    return (uint32_t)le16(p) | (uint32_t)le16(p + 2) << 16;
}
inline uint64_t le64(const unsigned char* p) { return le32(p) | (uint64_t)le32(p + 4) << 32; }
inline uint32_t be32(const unsigned char* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}
inline uint64_t be64(const unsigned char* p) { return (uint64_t)be32(p) << 32 | be32(p + 4); }

#endif
