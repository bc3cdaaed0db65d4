// Deleting keys with their subtrees from a checked registry file, in place,
// as Windows' own RegDeleteKey on 95 does (the format is in
// registry_file.h).  The steps follow regutils' registry.c, the one public
// program that deletes keys in this format:
//   - the key leaves its parent's chain: the parent's first-child link, or
//     its previous sibling's next link, takes the key's next link;
//   - each node of the subtree becomes free as regutils' free_rgkn_slot
//     makes it (0x80000000, a run of one node, record 0xFFFF/0xFFFF) and
//     goes to the head of RGKN's free list;
//   - each record of the subtree leaves its block in the block's own style.
//     A block whose free space is all one record at its end, or that has
//     none (Windows 95, and regutils' writer), is compacted: the later
//     records move down and the end becomes one free record, the only one
//     on the block's list.  A block with free records between used ones
//     (Windows 98 and ME) gets one more: the record is freed where it is
//     and goes to the head of the block's list of free records, as Windows
//     ME puts the newest first;
//   - the block's header follows: the unused size and the free offset; the
//     highest id stays as it was, a high-water mark, and the first free id
//     becomes the lowest id not in use (registry_file.h);
//   - every checksum the flags keep is made right again.
// The file keeps its size.  The caller proves the result, as the file
// reads back once written (check_registry and the listing).
#include "registry_file.h"
#include "registry_format.h"

#include <set>

using namespace creg;

namespace {

class key_deletion {
  public:
    key_deletion(const std::string& bytes, const registry_layout& layout)
        : old_(bytes), layout_(layout), new_(bytes) {}

    bool remove(uint32_t node) {
        if (node == layout_.root || layout_.nodes.count(node) == 0) return false;
        if (freed_.count(node) != 0) return true;  // inside a subtree deleted before
        if (!unlink(node)) return false;
        std::vector<uint32_t> pending(1, node);
        while (!pending.empty()) {
            uint32_t next = pending.back();
            pending.pop_back();
            if (!freed_.insert(next).second) continue;
            free_node(next);
            uint64_t record = layout_.nodes.at(next).record;
            records_gone_.insert(record);
            blocks_touched_.insert(u16(old_, record + kRecordBlock));
            for (uint32_t child : registry_subkeys(old_, next)) pending.push_back(child);
        }
        return true;
    }

    // Takes the records out of their blocks and renews the checksums.
    const std::string& finish() {
        for (uint16_t number : blocks_touched_) {
            uint64_t block = layout_.blocks[number];
            if (free_space_at_end(block))
                compact(block);
            else
                free_in_place(block);
            renew_first_free_id(block);
        }
        renew_checksum(&new_, 0, kFileHeaderSize, u16(new_, kHeaderFlags), kHeaderChecksum);
        renew_checksum(&new_, kRgkn, u32(new_, kRgkn + kRgknSize), u32(new_, kRgkn + kRgknFlags),
                       kRgknChecksum);
        for (uint64_t block : layout_.blocks)
            renew_checksum(&new_, block, u32(new_, block + kBlockSize),
                           u16(new_, block + kBlockFlags), kBlockChecksum);
        return new_;
    }

  private:
    uint32_t link(uint32_t node, uint32_t field) const { return u32(new_, node_at(node) + field); }

    bool unlink(uint32_t node) {
        uint32_t parent = layout_.nodes.at(node).parent, next = link(node, kNodeNext);
        if (link(parent, kNodeChild) == node) {
            put32(&new_, node_at(parent) + kNodeChild, next);
            return true;
        }
        // The chain was checked free of loops; it is no longer than the nodes.
        uint32_t sibling = link(parent, kNodeChild);
        for (size_t i = 0; sibling != kNone && i < layout_.nodes.size(); i++) {
            if (link(sibling, kNodeNext) == node) {
                put32(&new_, node_at(sibling) + kNodeNext, next);
                return true;
            }
            sibling = link(sibling, kNodeNext);
        }
        return false;
    }

    void free_node(uint32_t node) {
        uint64_t at = node_at(node);
        put32(&new_, at + kNodeUse, kNodeFree);
        put32(&new_, at + kNodeHash, kNodeSize);
        put32(&new_, at + kNodeNextFree, u32(new_, kRgkn + kRgknFreeList));
        put16(&new_, at + kNodeId, kFreeId);
        put16(&new_, at + kNodeBlock, kFreeId);
        put32(&new_, kRgkn + kRgknFreeList, node);
    }

    // The records of a block, as offsets from the block, in the old file.
    std::vector<uint32_t> records_of(uint64_t block) const {
        std::vector<uint32_t> records;
        for (uint32_t at = kBlockHeaderSize, size = u32(old_, block + kBlockSize); at < size;
             at += u32(old_, block + at + kRecordSize))
            records.push_back(at);
        return records;
    }
    bool is_free(const std::string& bytes, uint64_t record) const {
        return u16(bytes, record + kRecordId) == kFreeId;
    }

    bool free_space_at_end(uint64_t block) const {
        uint32_t size = u32(old_, block + kBlockSize);
        for (uint32_t at : records_of(block))
            if (is_free(old_, block + at) && at + u32(old_, block + at + kRecordSize) != size)
                return false;
        return true;
    }

    // Writes a free record of `size` bytes at `at`, its bytes zeroed (no
    // deleted name or value stays behind), linked to the free record at
    // `next` (an offset in the block; kNone: none).
    void write_free_record(uint64_t at, uint32_t size, uint32_t next) {
        new_.replace(at, size, size, '\0');
        put32(&new_, at + kRecordSize, size);
        put16(&new_, at + kRecordId, kFreeId);
        put16(&new_, at + kRecordBlock, kFreeId);
        put32(&new_, at + kRecordNextFree, next);
    }

    void compact(uint64_t block) {
        uint32_t size = u32(old_, block + kBlockSize), end = kBlockHeaderSize;
        for (uint32_t at : records_of(block)) {
            uint32_t record_size = u32(old_, block + at + kRecordSize);
            if (is_free(old_, block + at) || records_gone_.count(block + at) != 0) continue;
            new_.replace(block + end, record_size, old_, block + at, record_size);
            end += record_size;
        }
        write_free_record(block + end, size - end, kNone);
        put32(&new_, block + kBlockUnused, size - end);
        put32(&new_, block + kBlockFreeAt, end);
    }

    void free_in_place(uint64_t block) {
        uint32_t unused = u32(old_, block + kBlockUnused), free_at = u32(old_, block + kBlockFreeAt);
        for (uint32_t at : records_of(block)) {
            if (records_gone_.count(block + at) == 0) continue;
            uint32_t record_size = u32(old_, block + at + kRecordSize);
            write_free_record(block + at, record_size, free_at);
            unused += record_size;
            free_at = at;
        }
        put32(&new_, block + kBlockUnused, unused);
        put32(&new_, block + kBlockFreeAt, free_at);
    }

    void renew_first_free_id(uint64_t block) {
        bool used[kIdLimit] = {};
        uint32_t size = u32(new_, block + kBlockSize);
        for (uint32_t at = kBlockHeaderSize; at < size; at += u32(new_, block + at + kRecordSize))
            if (!is_free(new_, block + at)) used[u16(new_, block + at + kRecordId)] = true;
        uint16_t first_free = 0;
        while (first_free < kIdLimit && used[first_free]) first_free++;
        put16(&new_, block + kBlockFirstFreeId, first_free);
    }

    const std::string& old_;
    const registry_layout& layout_;
    std::string new_;
    std::set<uint32_t> freed_;        // nodes made free so far
    std::set<uint64_t> records_gone_; // file offsets (in the old file) of their records
    std::set<uint16_t> blocks_touched_;
};

}  // namespace

bool delete_registry_keys(std::string* bytes, const registry_layout& layout,
                          const std::vector<uint32_t>& nodes, std::string* why_not) {
    key_deletion deletion(*bytes, layout);
    for (uint32_t node : nodes) {
        if (!deletion.remove(node)) {
            *why_not = "a key to delete is not a subkey in SYSTEM.DAT";
            return false;
        }
    }
    *bytes = deletion.finish();
    return true;
}
