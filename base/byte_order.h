// The numbers of the on-disk layouts the Linux program reads and writes:
// FAT, the partition tables, VDI, VMDK and the Windows 9x registry file are
// little-endian; qcow2 and VHD big-endian.  Callers read only bytes that
// they have shown to be there.
#ifndef TAMRIX_BASE_BYTE_ORDER_H
#define TAMRIX_BASE_BYTE_ORDER_H

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

inline void put_le16(unsigned char* p, uint16_t value) {
    p[0] = (unsigned char)(value & 0xFF);
    p[1] = (unsigned char)(value >> 8);
}
inline void put_le32(unsigned char* p, uint32_t value) {
    put_le16(p, (uint16_t)(value & 0xFFFF));
    put_le16(p + 2, (uint16_t)(value >> 16));
}

#endif
