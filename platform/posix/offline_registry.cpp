// The seam's registry calls on the registry of the Windows being patched
// (see offline_registry.h).  A key handle is its node's offset in RGKN
// plus one, so that 0 stays "no key"; nothing is opened, so closing does
// nothing.  A deletion is noted, not made: the file changes once, at the
// end, with every noted key and its subtree gone.
#include "offline_registry.h"

#include <ctype.h>
#include <string.h>

#include <set>

#include "../platform.h"
#include "../../registry/registry_file.h"

namespace {

bool keep_registry;                // --keep-registry: no registry for the seam's calls
bool read_done;                    // offline_registry_read has read SYSTEM.DAT in this run
registry_reading reading;          // what it found
std::string reading_why;           // why it refused the file
std::string loaded_bytes;          // the SYSTEM.DAT loaded, as read
registry_layout loaded;            // its layout; no root when nothing is loaded
std::vector<uint32_t> deleted;     // the nodes of the keys deleted so far, in order
std::set<uint32_t> deleted_nodes;  // the same, to look up

uint32_t node_of(platform_key key) { return (uint32_t)(key - 1); }
platform_key key_of(uint32_t node) { return (platform_key)node + 1; }

// Whether `node` is a key of the loaded file that no deletion has taken.
bool present(uint32_t node) {
    if (loaded.nodes.count(node) == 0) return false;
    for (; node != kNoRegistryNode; node = loaded.nodes.at(node).parent)
        if (deleted_nodes.count(node) != 0) return false;
    return true;
}

uint32_t present_subkey(platform_key parent, const char* subkey) {
    if (parent == 0 || !present(node_of(parent))) return kNoRegistryNode;
    uint32_t node = find_registry_key(loaded_bytes, loaded, node_of(parent), subkey ? subkey : "");
    return node != kNoRegistryNode && present(node) ? node : kNoRegistryNode;
}

std::string path_of(uint32_t node) {
    std::string path;
    for (; node != loaded.root; node = loaded.nodes.at(node).parent)
        path = registry_key_name(loaded_bytes, loaded, node) + (path.empty() ? "" : "\\" + path);
    return path;
}

// The value `name` of the key at `path` in `listing`, as text.
bool string_value(const std::vector<registry_entry>& listing, const char* path, const char* name,
                  std::string* value) {
    for (const registry_entry& entry : listing)
        if (entry.is_value && same_registry_name(entry.path, path) &&
            same_registry_name(entry.name, name)) {
            *value = entry.data.substr(0, entry.data.find('\0'));  // with or without its NUL
            return true;
        }
    return false;
}

}  // namespace

// The largest SYSTEM.DAT read: real ones are a few megabytes.
const size_t kMostRegistryBytes = 64 << 20;

std::string system_dat_path(const char* name) {
    char folder[4096];
    uint32_t length = platform_windows_dir(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return "";
    return std::string(folder) + "\\" + name;
}

bool read_system_dat(const std::string& path, std::string* bytes, std::string* why_not,
                     bool* missing) {
    platform_file file;
    open_status status = path.empty() ? open_missing : platform_open_read(path.c_str(), &file);
    if (missing != nullptr) *missing = status == open_missing;
    if (status != open_ok) {
        *why_not = status == open_missing ? "it has no SYSTEM.DAT" : "SYSTEM.DAT cannot be opened";
        return false;
    }
    bytes->clear();
    char buffer[65536];
    int32_t count;
    while ((count = platform_read(file, buffer, sizeof buffer)) > 0 &&
           bytes->size() <= kMostRegistryBytes)
        bytes->append(buffer, (size_t)count);
    platform_close(file);
    if (count < 0) *why_not = "SYSTEM.DAT cannot be read";
    if (bytes->size() > kMostRegistryBytes) *why_not = "SYSTEM.DAT is too large for a registry";
    return count == 0 && bytes->size() <= kMostRegistryBytes;
}

void offline_registry_keep(bool keep) { keep_registry = keep; }

bool offline_registry_loaded() { return !keep_registry && loaded.root != kNoRegistryNode; }

const std::string& offline_registry_bytes() { return loaded_bytes; }

registry_reading offline_registry_read(std::string* why_not) {
    if (!read_done) {
        read_done = true;
        std::string bytes;
        bool missing = false;
        if (read_system_dat(system_dat_path("SYSTEM.DAT"), &bytes, &reading_why, &missing) &&
            offline_registry_load(bytes, &reading_why))
            reading = registry_read;
        else
            reading = missing ? registry_absent : registry_refused;
    }
    *why_not = reading_why;
    return reading;
}

bool offline_registry_version(std::string* version, std::string* service) {
    const char* key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    service->clear();
    if (loaded.root == kNoRegistryNode) return false;
    std::vector<registry_entry> listing = registry_listing(loaded_bytes, loaded);
    if (!string_value(listing, key, "VersionNumber", version) || version->empty()) return false;
    string_value(listing, key, "SubVersionNumber", service);
    return true;
}

bool offline_registry_names_pci_as_windows98() {
    if (loaded.root == kNoRegistryNode) return false;
    uint32_t pci = find_registry_key(loaded_bytes, loaded, loaded.root, "Enum\\PCI");
    if (pci == kNoRegistryNode) return false;
    for (uint32_t device : registry_subkeys(loaded_bytes, pci)) {
        std::string name = registry_key_name(loaded_bytes, loaded, device);
        for (char& c : name) c = (char)toupper((unsigned char)c);
        if (name.find("&SUBSYS_") != std::string::npos && name.find("&REV_") != std::string::npos)
            return true;
    }
    return false;
}

bool offline_registry_load(const std::string& bytes, std::string* why_not) {
    offline_registry_unload();
    registry_layout layout;
    if (!check_registry(bytes, &layout, why_not)) return false;
    loaded_bytes = bytes;
    loaded = layout;
    read_done = true;  // a registry handed in is the run's
    reading = registry_read;
    return true;
}

void offline_registry_unload() {
    read_done = false;
    loaded_bytes.clear();
    loaded = registry_layout();
    deleted.clear();
    deleted_nodes.clear();
}

std::vector<std::string> offline_registry_deleted() {
    std::vector<std::string> paths;
    for (uint32_t node : deleted) paths.push_back(path_of(node));
    return paths;
}

bool offline_registry_changed(std::string* bytes, std::string* why_not) {
    *bytes = loaded_bytes;
    return delete_registry_keys(bytes, loaded, deleted, why_not);
}

bool offline_registry_proves(const std::string& bytes, std::string* why_not) {
    registry_layout layout;
    if (!check_registry(bytes, &layout, why_not)) return false;
    if (registry_listing(bytes, layout) ==
        listing_without(registry_listing(loaded_bytes, loaded), offline_registry_deleted()))
        return true;
    *why_not = "the changed SYSTEM.DAT does not list what the old one less the deleted keys lists";
    return false;
}

std::vector<registry_entry> offline_registry_listing() {
    return registry_listing(loaded_bytes, loaded);
}

platform_key offline_registry_root() {
    return keep_registry || loaded.root == kNoRegistryNode ? 0 : key_of(loaded.root);
}

// ---- the seam --------------------------------------------------------------------

bool platform_reg_open(platform_key parent, const char* subkey, platform_key* key) {
    uint32_t node = present_subkey(parent, subkey);
    if (node == kNoRegistryNode) return false;
    *key = key_of(node);
    return true;
}

bool platform_reg_enum_key(platform_key key, uint32_t index, char* name, uint32_t size) {
    if (key == 0 || !present(node_of(key))) return false;
    for (uint32_t child : registry_subkeys(loaded_bytes, node_of(key))) {
        if (!present(child) || index-- != 0) continue;
        std::string found = registry_key_name(loaded_bytes, loaded, child);
        if (found.size() >= size) return false;
        memcpy(name, found.c_str(), found.size() + 1);
        return true;
    }
    return false;
}

// As RegDeleteKeyA on Windows 95: the key goes with all its subkeys.
bool platform_reg_delete_key(platform_key key, const char* subkey) {
    uint32_t node = present_subkey(key, subkey);
    if (node == kNoRegistryNode || node == loaded.root) return false;
    deleted.push_back(node);
    deleted_nodes.insert(node);
    return true;
}

void platform_reg_close(platform_key) {}
