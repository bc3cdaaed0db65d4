// The structural check of a registry file (the format is in registry_file.h).
// It reads every structure once, with every offset and size tested against
// the file and the block that holds it before it is used, and refuses what
// would make a read or a deletion unsafe, nothing more: a file it passes can
// be changed by registry_delete.cpp without a single bounds test there.
//
// Where the sources differ, the files Windows wrote decide: libcreg names
// the RGDB header's field at 0x10 "used size", regutils "free offset"; in
// the ME files it starts the list of free records.  libcreg carries an XOR
// checksum but checks none; regutils adds the words up, and is followed.
#include "registry_file.h"
#include "registry_format.h"

#include <set>
#include <utility>

using namespace creg;

uint32_t creg::word_sum(const std::string& bytes, uint64_t at, uint32_t size) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < size; i += 4) sum += u32(bytes, at + i);
    return sum;
}

void creg::renew_checksum(std::string* bytes, uint64_t at, uint32_t size, uint32_t flags,
                          uint32_t field) {
    if ((flags & kChecksumKept) == 0) return;
    put32(bytes, at + field, 0);
    put32(bytes, at + field, (uint32_t)0 - word_sum(*bytes, at, size));
}

namespace {

class registry_checker {
  public:
    registry_checker(const std::string& bytes, registry_layout* layout)
        : bytes_(bytes), layout_(*layout) {}

    bool check() {
        return header() && blocks() && key_nodes() && every_record_reached() && free_nodes() &&
               names_apart() && enum_key();
    }
    const std::string& why_not() const { return why_not_; }

  private:
    bool fail(const std::string& why) {
        why_not_ = "SYSTEM.DAT " + why;
        return false;
    }
    bool has(uint64_t at, uint64_t length) const { return at + length <= bytes_.size(); }
    bool text_at(uint64_t at, const char* text) const { return bytes_.compare(at, 4, text) == 0; }
    bool checksum_right(uint64_t at, uint32_t size, uint32_t flags) const {
        return (flags & kChecksumKept) == 0 || word_sum(bytes_, at, size) == 0;
    }

    // The file header and RGKN's header.
    bool header() {
        if (!has(0, kRgkn + kRgknHeaderSize) || !text_at(0, "CREG") || !text_at(kRgkn, "RGKN"))
            return fail("is no Windows 95 registry file");
        if (u32(bytes_, 4) != kVersion) return fail("has a registry format version not known here");
        if (!checksum_right(0, kFileHeaderSize, u16(bytes_, kHeaderFlags)))
            return fail("has a wrong checksum in its file header");
        rgkn_size_ = u32(bytes_, kRgkn + kRgknSize);
        if (rgkn_size_ < kRgknHeaderSize || rgkn_size_ % 4 != 0 || !has(kRgkn, rgkn_size_))
            return fail("has a key node table (RGKN) that does not fit in the file");
        if (!checksum_right(kRgkn, rgkn_size_, u32(bytes_, kRgkn + kRgknFlags)))
            return fail("has a wrong checksum in its key node table (RGKN)");
        if (u32(bytes_, kHeaderBlocksAt) != kRgkn + rgkn_size_)
            return fail("does not have its first data block (RGDB) after its key nodes");
        return true;
    }

    // The RGDB blocks, one after the other up to the end of the file.
    bool blocks() {
        uint64_t at = kRgkn + rgkn_size_;
        for (uint16_t number = 0, count = u16(bytes_, kHeaderBlockCount); number < count;
             number++) {
            if (!has(at, kBlockHeaderSize) || !text_at(at, "RGDB"))
                return fail("lacks data block (RGDB) " + std::to_string(number));
            uint32_t size = u32(bytes_, at + kBlockSize);
            if (size < kBlockHeaderSize || size % 4 != 0 || !has(at, size))
                return fail("has a truncated data block (RGDB " + std::to_string(number) + ")");
            if (u16(bytes_, at + kBlockNumber) != number)
                return fail("has data block " + std::to_string(number) + " out of its place");
            if (!checksum_right(at, size, u16(bytes_, at + kBlockFlags)))
                return fail("has a wrong checksum in data block (RGDB) " + std::to_string(number));
            layout_.blocks.push_back(at);
            if (!records(number, at, size)) return false;
            at += size;
        }
        if (layout_.blocks.empty() || at != bytes_.size())
            return fail("does not end with its last data block (RGDB)");
        return true;
    }

    // The records of one block: they tile it exactly; a used record carries
    // this block's number and an id below kIdLimit found once, its values
    // inside its bytes in use; the header's unused size is the sum of the
    // free records, and its free offset starts the list of all of them.
    // The header's highest id and first free id are Windows' own
    // bookkeeping for its next record: no read or deletion rests on them.
    bool records(uint16_t number, uint64_t block, uint32_t size) {
        const std::string where = " in data block (RGDB) " + std::to_string(number);
        std::set<uint32_t> free_records;
        uint32_t free_bytes = 0;
        bool used[kIdLimit] = {};
        for (uint32_t at = kBlockHeaderSize, record_size; at < size; at += record_size) {
            uint64_t record = block + at;
            record_size = at + kRecordHeaderSize <= size ? u32(bytes_, record + kRecordSize) : 0;
            if (record_size < kRecordHeaderSize || record_size > size - at)
                return fail("has a record that crosses the end of its block" + where);
            uint16_t id = u16(bytes_, record + kRecordId);
            if (id == kFreeId) {
                free_records.insert(at);
                free_bytes += record_size;
                continue;
            }
            if (u16(bytes_, record + kRecordBlock) != number || id >= kIdLimit)
                return fail("has a record with a wrong id or block number" + where);
            if (used[id]) return fail("has a record id found twice" + where);
            used[id] = true;
            if (!values_fit(record, record_size))
                return fail("has a record whose values do not fit in it" + where);
            records_[std::make_pair(number, id)] = record;
        }
        if (free_bytes != u32(bytes_, block + kBlockUnused))
            return fail("has free space that its header does not describe" + where);
        return free_records_listed(block, &free_records, where);
    }

    // The block's list of free records, from the header's free offset
    // through each one's link to the next: every free record once, and
    // nothing else.
    bool free_records_listed(uint64_t block, std::set<uint32_t>* free_records,
                             const std::string& where) {
        std::set<uint32_t> seen;
        for (uint32_t at = u32(bytes_, block + kBlockFreeAt); at != kNone;
             at = u32(bytes_, block + at + kRecordNextFree)) {
            if (!seen.insert(at).second)
                return fail("has a loop in its list of free records" + where);
            if (free_records->erase(at) == 0)
                return fail("has a broken list of free records" + where);
        }
        if (!free_records->empty()) return fail("has a free record off its list" + where);
        return true;
    }

    bool values_fit(uint64_t record, uint32_t record_size) const {
        uint32_t used = u32(bytes_, record + kRecordUsed);
        if (used > record_size) return false;
        uint32_t at = kRecordHeaderSize + u16(bytes_, record + kRecordNameLength);
        for (uint16_t i = 0, count = u16(bytes_, record + kRecordValueCount); i < count; i++) {
            if (at + kValueHeaderSize > used) return false;
            at += kValueHeaderSize + u16(bytes_, record + at + 8) + u16(bytes_, record + at + 10);
        }
        return at == used;
    }

    // Every node reachable from the root, once, depth first: inside RGKN, in
    // use, its parent link pointing back, its record found (the root may
    // have none) and no other node's.
    bool key_nodes() {
        layout_.root = u32(bytes_, kRgkn + kRgknRoot);
        std::vector<std::pair<uint32_t, uint32_t>> pending;  // node, its parent
        pending.push_back(std::make_pair(layout_.root, kNone));
        while (!pending.empty()) {
            uint32_t node = pending.back().first, parent = pending.back().second;
            pending.pop_back();
            if (!node_inside(node)) return fail("has a key node outside its key node table");
            if (layout_.nodes.count(node) != 0)
                return fail("has a loop in its keys (a key node reached twice)");
            uint64_t at = node_at(node);
            if (u32(bytes_, at + kNodeUse) != kNodeInUse)
                return fail("has a key that points at a free key node");
            if (u32(bytes_, at + kNodeParent) != parent)
                return fail("has a key whose parent link does not point back");
            registry_node& entry = layout_.nodes[node];
            entry.parent = parent;
            if (!node_record(at, node == layout_.root, &entry.record)) return false;
            uint32_t next = u32(bytes_, at + kNodeNext), child = u32(bytes_, at + kNodeChild);
            if (node == layout_.root && next != kNone) return fail("has a root key with siblings");
            if (next != kNone) pending.push_back(std::make_pair(next, parent));
            if (child != kNone) pending.push_back(std::make_pair(child, node));
        }
        uint32_t end = 0;
        for (const auto& node : layout_.nodes) {
            if (node.first < end) return fail("has key nodes that overlap");
            end = node.first + kNodeSize;
        }
        return true;
    }

    bool node_inside(uint32_t node) const {
        return node >= kRgknHeaderSize && node <= rgkn_size_ - kNodeSize;
    }

    bool node_record(uint64_t at, bool root, uint64_t* record) {
        uint16_t id = u16(bytes_, at + kNodeId), block = u16(bytes_, at + kNodeBlock);
        if (root && id == kFreeId && block == kFreeId) return true;
        auto found = records_.find(std::make_pair(block, id));
        if (found == records_.end()) return fail("has a key whose record is missing");
        if (!records_reached_.insert(found->second).second)
            return fail("has a record that two keys share");
        *record = found->second;
        return true;
    }

    bool every_record_reached() {
        if (records_reached_.size() != records_.size())
            return fail("has a record that no key refers to");
        return true;
    }

    // The list of free nodes from RGKN's header: each inside RGKN, marked
    // free, once, its free run overlapping no key node.
    bool free_nodes() {
        std::set<uint32_t> seen;
        for (uint32_t node = u32(bytes_, kRgkn + kRgknFreeList); node != kNone;
             node = u32(bytes_, node_at(node) + kNodeNextFree)) {
            if (!node_inside(node) || u32(bytes_, node_at(node) + kNodeUse) != kNodeFree)
                return fail("has a broken list of free key nodes");
            if (!seen.insert(node).second) return fail("has a loop in its list of free key nodes");
            uint32_t run = u32(bytes_, node_at(node) + kNodeHash);
            if (run < kNodeSize || run > rgkn_size_ - node)
                return fail("has a free key node run outside its key node table");
            auto key = layout_.nodes.lower_bound(node >= kNodeSize ? node - kNodeSize + 1 : 0);
            if (key != layout_.nodes.end() && key->first < node + run)
                return fail("has a free key node run over a key in use");
        }
        layout_.free_node_count = seen.size();
        return true;
    }

    // No two subkeys of a key with one name, as Windows matches names
    // (same_registry_name): it never writes such a pair, a key could not
    // be found by its name, and a deletion could not be proved by its path.
    bool names_apart() {
        std::set<std::pair<uint32_t, std::string>> names;
        for (const auto& node : layout_.nodes) {
            if (node.first == layout_.root) continue;
            std::string name = registry_key_name(bytes_, layout_, node.first);
            for (char& c : name)
                if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
            if (!names.insert(std::make_pair(node.second.parent, name)).second)
                return fail("has two subkeys of one key with the same name");
        }
        return true;
    }

    bool enum_key() {
        if (find_registry_key(bytes_, layout_, layout_.root, "Enum") == kNoRegistryNode)
            return fail("has no key Enum: it is a registry file, but not the machine's "
                        "(HKEY_LOCAL_MACHINE)");
        return true;
    }

    const std::string& bytes_;
    registry_layout& layout_;
    std::string why_not_;
    uint32_t rgkn_size_ = 0;
    std::map<std::pair<uint16_t, uint16_t>, uint64_t> records_;  // (block, id) -> record
    std::set<uint64_t> records_reached_;
};

}  // namespace

bool check_registry(const std::string& bytes, registry_layout* layout, std::string* why_not) {
    *layout = registry_layout();
    registry_checker checker(bytes, layout);
    if (checker.check()) return true;
    *why_not = checker.why_not();
    *layout = registry_layout();
    return false;
}
