// Reading a checked registry file: its keys by path, their subkeys and
// names, and the listing of every key and value that the deletion is
// proved against.  Every offset read here was tested by check_registry.
#include "registry_file.h"
#include "registry_format.h"

#include "../base/split_at.h"

#include <strings.h>

using namespace creg;

std::vector<uint32_t> registry_subkeys(const std::string& bytes, uint32_t node) {
    std::vector<uint32_t> subkeys;
    for (uint32_t child = u32(bytes, node_at(node) + kNodeChild); child != kNone;
         child = u32(bytes, node_at(child) + kNodeNext))
        subkeys.push_back(child);
    return subkeys;
}

std::string registry_key_name(const std::string& bytes, const registry_layout& layout,
                              uint32_t node) {
    uint64_t record = layout.nodes.at(node).record;
    if (record == 0) return "";
    return bytes.substr(record + kRecordHeaderSize, u16(bytes, record + kRecordNameLength));
}

uint32_t find_registry_key(const std::string& bytes, const registry_layout& layout, uint32_t from,
                           const std::string& path) {
    uint32_t node = from;
    std::vector<std::string> names = split_at(path, '\\');
    if (names.back().empty()) names.pop_back();  // "Enum\\" is "Enum"; "" is the key itself
    for (const std::string& name : names) {
        if (node == kNoRegistryNode) break;
        uint32_t found = kNoRegistryNode;
        for (uint32_t child : registry_subkeys(bytes, node)) {
            if (strcasecmp(registry_key_name(bytes, layout, child).c_str(), name.c_str()) == 0) {
                found = child;
                break;
            }
        }
        node = found;
    }
    return node;
}

namespace {

void list_values(const std::string& bytes, uint64_t record, const std::string& path,
                 std::vector<registry_entry>* listing) {
    uint64_t at = record + kRecordHeaderSize + u16(bytes, record + kRecordNameLength);
    for (uint16_t i = 0, count = u16(bytes, record + kRecordValueCount); i < count; i++) {
        registry_entry value;
        value.path = path;
        value.is_value = true;
        value.type = u32(bytes, at);
        uint16_t name_length = u16(bytes, at + 8), data_length = u16(bytes, at + 10);
        value.name = bytes.substr(at + kValueHeaderSize, name_length);
        value.data = bytes.substr(at + kValueHeaderSize + name_length, data_length);
        listing->push_back(value);
        at += kValueHeaderSize + name_length + data_length;
    }
}

// Whether `path` is `top` or lies below it, without regard to case.
bool within(const std::string& path, const std::string& top) {
    return strncasecmp(path.c_str(), top.c_str(), top.size()) == 0 &&
           (path.size() == top.size() || path[top.size()] == '\\');
}

}  // namespace

// Depth first without recursion: a file may nest its keys deeper than the stack.
std::vector<registry_entry> registry_listing(const std::string& bytes,
                                             const registry_layout& layout) {
    std::vector<registry_entry> listing;
    std::vector<std::pair<uint32_t, std::string>> pending(1, std::make_pair(layout.root, ""));
    while (!pending.empty()) {
        uint32_t node = pending.back().first;
        std::string path = pending.back().second;
        pending.pop_back();
        registry_entry key;
        key.path = path;
        listing.push_back(key);
        uint64_t record = layout.nodes.at(node).record;
        if (record != 0) list_values(bytes, record, path, &listing);
        std::vector<uint32_t> subkeys = registry_subkeys(bytes, node);
        for (auto child = subkeys.rbegin(); child != subkeys.rend(); ++child) {
            std::string name = registry_key_name(bytes, layout, *child);
            pending.push_back(std::make_pair(*child, path.empty() ? name : path + "\\" + name));
        }
    }
    return listing;
}

std::vector<registry_entry> listing_without(const std::vector<registry_entry>& listing,
                                            const std::vector<std::string>& paths) {
    std::vector<registry_entry> kept;
    for (const registry_entry& entry : listing) {
        bool deleted = false;
        for (const std::string& path : paths) deleted = deleted || within(entry.path, path);
        if (!deleted) kept.push_back(entry);
    }
    return kept;
}
