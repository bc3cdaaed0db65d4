// The version of Windows that an installation's registry records, read from
// its SYSTEM.DAT (HKEY_LOCAL_MACHINE), without changing anything.
//
// SYSTEM.DAT of Windows 95, 98 and Me is a "CREG" file, all numbers
// little-endian:
//   0x00  the file header, 32 bytes: "CREG", the format version (1.0), the
//         offset of the first RGDB block (from the start of the file), ...,
//         the number of RGDB blocks (16 bits at 0x10);
//   0x20  the RGKN block: "RGKN", its size, the offset of the root key's
//         entry (counted, as every key offset is, from the start of RGKN;
//         0x20), ...; then the key entries, 28 bytes each:
//           0x00 unknown, 0x04 a hash of the name, 0x08 unknown,
//           0x0C parent, 0x10 first subkey, 0x14 next key of the same parent
//           (offsets; 0xFFFFFFFF for none),
//           0x18 the key's number in its RGDB block, 0x1A that block's number;
//   then the RGDB blocks, one after the other: "RGDB", the block's size, ...,
//         32 bytes of header; then its keys' records, each:
//           0x00 the record's size, 0x04 the key's number (0xFFFF: a free
//           record), 0x06 the block's number, 0x08 the bytes in use,
//           0x0C the length of the name, 0x0E the number of values,
//           0x10 unknown, 0x14 the name (no NUL), then the values:
//             0x00 type (1: a string), 0x04 unknown, 0x08 the length of the
//             name, 0x0A the length of the data, 0x0C the name, then the data.
// Key names are matched without regard to case, as Windows does.  The
// fields left unknown here are described in platform/posix/registry_file.h,
// whose check and deletion need them all.
#ifndef TAMRIX_PLATFORM_IMAGE_IMAGE_REGISTRY_H
#define TAMRIX_PLATFORM_IMAGE_IMAGE_REGISTRY_H

#include <string>

struct registry_version {
    bool found = false;      // VersionNumber was read
    std::string why_not;     // else why not, for the user
    std::string version;     // VersionNumber: "4.00.950"
    std::string service;     // SubVersionNumber: " B", or "" where there is none
};

// Reads HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion's
// VersionNumber and SubVersionNumber from the bytes of a SYSTEM.DAT.
registry_version read_windows_version(const std::string& system_dat);

#endif
