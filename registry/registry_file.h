// The Windows 95/98/ME registry file (SYSTEM.DAT, "CREG") as bytes in
// memory: a structural check that refuses what would make a read or a
// deletion unsafe, the listing of every key and value, and the deletion of
// keys with their whole subtrees in the file's own structures, the file
// keeping its size.  No I/O here.
//
// The layout, all numbers little-endian.  Sources: regutils' regformat.h
// and registry.c (the only public code that writes the format), libyal's
// libcreg format document ("Windows 9x Registry File (CREG) format") and
// headers, Wine's Windows 95 loader (misc/registry.c), and
// tests/data/registry/winme_SYSTEM.DAT and winme_USER.DAT, two files that
// Windows ME wrote (named "the ME files" below):
//
//   0x00 the file header, 32 bytes: "CREG", the version 0x00010000, the
//        file offset of the first RGDB block, a checksum, the number of RGDB
//        blocks (16 bits at 0x10), flags (16 bits at 0x12), the rest unused.
//   0x20 RGKN, the key nodes: "RGKN", its size, the root node's offset, the
//        first free node's offset, flags, a checksum, zeros (32 bytes);
//        then the nodes, 28 bytes each, every offset counted from RGKN:
//          0x00 0 when in use, 0x80000000 when free; 0x04 the name's hash
//          (a free node: the bytes of the free run it starts); 0x08 the next
//          free node; 0x0C the parent; 0x10 the first child; 0x14 the next
//          sibling (0xFFFFFFFF: none); 0x18 the key's record id and 0x1A its
//          RGDB block (0xFFFF, 0xFFFF: no record, as the root has in the ME
//          files).
//   then the RGDB blocks of records, one after the other: "RGDB", its size,
//        the unused size, flags (16 bits), the block's number (16 bits), the
//        offset of the first free record on the block's list (0xFFFFFFFF:
//        none), the highest record id (16 bits), the lowest free id (16
//        bits), 4 bytes unused, a checksum at 0x1C (32 bytes); then records,
//        each: 0x00 its size, 0x04 the key's id (16 bits; 0xFFFF: a free
//        record), 0x06 the block's number, 0x08 the bytes in use (a free
//        record: the next free record's offset in the block, 0xFFFFFFFF at
//        the end of the list), 0x0C the name's length, 0x0E the number of
//        values, 0x10 zero, 0x14 the name; then each value: type (32 bits),
//        zero (32 bits), the name's length and the data's length (16 bits
//        each), the name, the data.
//
// The rules the code rests on, each with its source:
//   - The version is 0x00010000 (regutils; both ME files).  The first RGDB
//     block follows RGKN, and the last one ends the file (the ME files).
//   - A checksum is kept valid only where bit 0x4 of its structure's own
//     flags is set: the structure's 32-bit words then add up to zero
//     (regutils' REG_FLAG_CSUMVALID).  Where the bit is clear the field may
//     hold anything (regutils: "unknown, but observed" flags; the ME files
//     have flags 0x20 in the header and 0x8 in RGKN and every block, with
//     stale bytes in some blocks' 0x18-0x1F), so it is not read.
//   - A key node's hash is the sum of the bytes of the key's name in upper
//     case (libcreg's document, which adds bytes below 0x80 only; all 5,785
//     named keys of the ME files, whose names are plain ASCII).  Nothing here
//     reads it; whoever renames a key renews it.
//   - RGKN's free nodes form a list from its header through each node's
//     0x08 link to 0xFFFFFFFF; a free node's 0x04 is the size of the run of
//     free bytes it starts, 28 for one node, up to RGKN's end for the last
//     (regutils; ME SYSTEM.DAT: 64 free nodes, the last a run to the end).
//     A freed node keeps its old links (the ME files): only the list says
//     which nodes are free.
//   - Records tile their block exactly, at any byte offset (the ME files
//     have records at odd offsets).  A used record's bytes in use cover its
//     header, name and values and may stop short of its size, leaving slack
//     (70 records of ME SYSTEM.DAT).
//   - Free records may lie between used ones (Windows 98 and ME: 17 of the
//     21 blocks of ME SYSTEM.DAT; regutils' reader notes it for 98), or the
//     block's free space is one record at its end (Windows 95, and regutils'
//     writer).  Either way they form a list: the header's free offset is its
//     first, each free record's 0x08 links the next, 0xFFFFFFFF ends it, in
//     any order (ME SYSTEM.DAT: all 21 blocks; block 8 lists its 7 free
//     records newest first), and the header's unused size is the sum of
//     their sizes (both ME files, every block).  A block with no free record
//     has 0xFFFFFFFF there (ME SYSTEM.DAT blocks 12 and 13; regutils).
//   - Record ids run from 0 to 254: a block holds at most 255 records (ME
//     SYSTEM.DAT: blocks 0 to 7 hold ids 0 to 254 and free bytes besides,
//     and say 255 as their first free id; regutils refuses higher ids).
//   - The header's highest id is a high-water mark: Windows does not lower
//     it when it frees a record (ME SYSTEM.DAT block 20 says 219 while 212
//     is the highest in use; ME USER.DAT block 0 says 254 with 170), and an
//     empty block may keep one.  Its first free id is the lowest id not in
//     use (the ME files, every block).  Neither is needed to read the file,
//     so the check does not refuse a block by them; a deletion leaves the
//     highest id as it was and sets the first free id to the lowest free
//     one, as Windows does.
#ifndef TAMRIX_REGISTRY_REGISTRY_FILE_H
#define TAMRIX_REGISTRY_REGISTRY_FILE_H

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

const uint32_t kNoRegistryNode = 0xFFFFFFFF;

// A key node that the check reached from the root.
struct registry_node {
    uint32_t parent = kNoRegistryNode;
    uint64_t record = 0;  // file offset of its record; 0: none (the root only)
};

// What the check learnt of a file that passed it.
struct registry_layout {
    uint32_t root = kNoRegistryNode;            // the root node (HKEY_LOCAL_MACHINE)
    std::vector<uint64_t> blocks;               // file offset of each RGDB block
    std::map<uint32_t, registry_node> nodes;    // every reachable node by its offset
    size_t free_node_count = 0;                 // the entries of RGKN's list of free nodes
};

// Checks the whole file: every offset and size inside the file and its
// block, records tiling each block, every reachable node and every used
// record found exactly once, sibling and child chains without loops, parent
// links pointing back, the lists of free nodes and of free records well
// formed, checksums right where kept, nothing cut off, no two subkeys of a
// key with the same name, and a key Enum under the root.  True with `layout` filled, or false with `why_not` saying, for
// the user, what is wrong.
bool check_registry(const std::string& bytes, registry_layout* layout, std::string* why_not);

// The node of the key at `path` below `from` (names separated by '\',
// matched without regard to case, as Windows does); kNoRegistryNode when
// there is none.  `path` may be empty: `from` itself.
uint32_t find_registry_key(const std::string& bytes, const registry_layout& layout, uint32_t from,
                           const std::string& path);

// Whether two names (of keys, values or paths) are the same, as Windows
// matches them: without regard to the case of ASCII letters, every byte
// counted (a NUL in a damaged name too).
bool same_registry_name(const std::string& a, const std::string& b);

// The subkeys of `node`, in the file's order, and a key's name.
std::vector<uint32_t> registry_subkeys(const std::string& bytes, uint32_t node);
std::string registry_key_name(const std::string& bytes, const registry_layout& layout,
                              uint32_t node);

// One line of the listing: a key (`is_value` false; its path from the root,
// "" for the root) or one of its values.
struct registry_entry {
    std::string path;
    bool is_value = false;
    std::string name;   // the value's name
    uint32_t type = 0;  // the value's type
    std::string data;   // the value's bytes
    bool operator==(const registry_entry& other) const {
        return path == other.path && is_value == other.is_value && name == other.name &&
               type == other.type && data == other.data;
    }
};

// Every key and every value of a checked file, depth first in the file's order.
std::vector<registry_entry> registry_listing(const std::string& bytes,
                                             const registry_layout& layout);

// `listing` without the keys at `paths` and everything below them (paths
// compared without regard to case).
std::vector<registry_entry> listing_without(const std::vector<registry_entry>& listing,
                                            const std::vector<std::string>& paths);

// Deletes the keys at `nodes` with their subtrees from a checked file, in
// place: each key leaves its parent's chain of children, its nodes become
// free and join the free list, its records leave their blocks in the style
// each block already has, the block headers and every kept checksum follow.
// Nodes inside a subtree deleted before are skipped; the root is refused.
// False (and `bytes` unchanged) with `why_not` set when it cannot.  The
// result is not checked here: the caller proves it where it was written.
bool delete_registry_keys(std::string* bytes, const registry_layout& layout,
                          const std::vector<uint32_t>& nodes, std::string* why_not);

#endif
