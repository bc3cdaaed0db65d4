// The registry of a Windows being patched, and the seam's registry calls
// on the run's one (see offline_registry.h).  A key handle is its node's offset in RGKN
// plus one, so that 0 stays "no key"; nothing is opened, so closing does
// nothing.  A deletion is noted, not made: the file changes once, at the
// end, with every noted key and its subtree gone.
#include "offline_registry.h"

#include <ctype.h>
#include <string.h>

#include <set>

#include "../../registry/registry_file.h"
#include "../platform.h"
#include "front_end_calls.h"

namespace {

// The run's registry, on which the seam's registry calls act.  The calls
// name no registry: the core has one HKEY_LOCAL_MACHINE.
offline_registry the_run_registry;
bool keep_registry;        // --keep-registry: no registry for the seam's calls
bool read_done;            // run_registry_read has read SYSTEM.DAT in this run
registry_reading reading;  // what it found
std::string reading_why;   // why it refused the file

uint32_t node_of(platform_key key) { return (uint32_t)(key - 1); }
platform_key key_of(uint32_t node) { return (platform_key)node + 1; }

bool empty(const offline_registry& registry) { return registry.layout.root == kNoRegistryNode; }

// Whether `node` is a key of the registry that no deletion has taken.
bool present(const offline_registry& registry, uint32_t node) {
    if (registry.layout.nodes.count(node) == 0) return false;
    for (; node != kNoRegistryNode; node = registry.layout.nodes.at(node).parent)
        if (registry.deleted_nodes.count(node) != 0) return false;
    return true;
}

uint32_t present_subkey(const offline_registry& registry, uint32_t parent, const char* subkey) {
    if (!present(registry, parent)) return kNoRegistryNode;
    uint32_t node =
        find_registry_key(registry.bytes, registry.layout, parent, subkey ? subkey : "");
    return node != kNoRegistryNode && present(registry, node) ? node : kNoRegistryNode;
}

// The same below a key of the seam's calls, in the run's registry.
uint32_t present_subkey(platform_key parent, const char* subkey) {
    if (parent == 0) return kNoRegistryNode;
    return present_subkey(the_run_registry, node_of(parent), subkey);
}

std::string path_of(const offline_registry& registry, uint32_t node) {
    std::string path;
    for (; node != registry.layout.root; node = registry.layout.nodes.at(node).parent)
        path = registry_key_name(registry.bytes, registry.layout, node) +
               (path.empty() ? "" : "\\" + path);
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

bool offline_registry_load(const std::string& bytes, offline_registry* registry,
                           std::string* why_not) {
    *registry = offline_registry();
    registry_layout layout;
    if (!check_registry(bytes, &layout, why_not)) return false;
    registry->bytes = bytes;
    registry->layout = layout;
    return true;
}

bool offline_registry_open(const std::string& path, offline_registry* registry,
                           std::string* why_not, bool* missing) {
    std::string bytes;
    *registry = offline_registry();
    return read_system_dat(path, &bytes, why_not, missing) &&
           offline_registry_load(bytes, registry, why_not);
}

bool offline_registry_version(const offline_registry& registry, std::string* version,
                              std::string* service) {
    const char* key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    service->clear();
    if (empty(registry)) return false;
    std::vector<registry_entry> listing = offline_registry_listing(registry);
    if (!string_value(listing, key, "VersionNumber", version) || version->empty()) return false;
    string_value(listing, key, "SubVersionNumber", service);
    return true;
}

bool offline_registry_names_pci_as_windows98(const offline_registry& registry) {
    if (empty(registry)) return false;
    uint32_t pci = find_registry_key(registry.bytes, registry.layout, registry.layout.root,
                                     "Enum\\PCI");
    if (pci == kNoRegistryNode) return false;
    for (uint32_t device : registry_subkeys(registry.bytes, pci)) {
        std::string name = registry_key_name(registry.bytes, registry.layout, device);
        for (char& c : name) c = (char)toupper((unsigned char)c);
        if (name.find("&SUBSYS_") != std::string::npos && name.find("&REV_") != std::string::npos)
            return true;
    }
    return false;
}

std::vector<std::string> offline_registry_held(const offline_registry& registry,
                                               const char* const* paths, uint32_t count) {
    std::vector<std::string> held;
    for (uint32_t i = 0; i < count && !empty(registry); i++) {
        uint32_t node = present_subkey(registry, registry.layout.root, paths[i]);
        // The root itself is never deleted.
        if (node != kNoRegistryNode && node != registry.layout.root)
            held.push_back(path_of(registry, node));
    }
    return held;
}

std::vector<std::string> offline_registry_deleted(const offline_registry& registry) {
    std::vector<std::string> paths;
    for (uint32_t node : registry.deleted) paths.push_back(path_of(registry, node));
    return paths;
}

bool offline_registry_changed(const offline_registry& registry, std::string* bytes,
                              std::string* why_not) {
    *bytes = registry.bytes;
    return delete_registry_keys(bytes, registry.layout, registry.deleted, why_not);
}

bool offline_registry_proves(const offline_registry& registry, const std::string& bytes,
                             std::string* why_not) {
    registry_layout layout;
    if (!check_registry(bytes, &layout, why_not)) return false;
    if (registry_listing(bytes, layout) ==
        listing_without(offline_registry_listing(registry), offline_registry_deleted(registry)))
        return true;
    *why_not = "the changed SYSTEM.DAT does not list what the old one less the deleted keys lists";
    return false;
}

std::vector<registry_entry> offline_registry_listing(const offline_registry& registry) {
    return registry_listing(registry.bytes, registry.layout);
}

// ---- the run's registry ------------------------------------------------------------

registry_reading run_registry_read(std::string* why_not) {
    if (!read_done) {
        read_done = true;
        bool missing = false;
        if (offline_registry_open(system_dat_path("SYSTEM.DAT"), &the_run_registry, &reading_why,
                                  &missing))
            reading = registry_read;
        else
            reading = missing ? registry_absent : registry_refused;
    }
    *why_not = reading_why;
    return reading;
}

const offline_registry& run_registry() { return the_run_registry; }

void run_registry_forget() {
    read_done = false;
    the_run_registry = offline_registry();
}

void run_registry_keep(bool keep) { keep_registry = keep; }

bool run_registry_at_hand() { return !keep_registry && !empty(the_run_registry); }

platform_key run_registry_root() {
    return run_registry_at_hand() ? key_of(the_run_registry.layout.root) : 0;
}

// ---- the seam --------------------------------------------------------------------

// SYSTEM.DAT, read once per run.  Where it cannot be read as a registry,
// the front end hears why; a folder without SYSTEM.DAT (a copy of the INF
// files alone) has no registry to speak of: the core's note on Device
// Manager says enough.
platform_key platform_local_machine() {
    std::string why;
    if (!keep_registry && run_registry_read(&why) == registry_refused)
        platform_front_end->registry_refused(why.c_str());
    return run_registry_root();
}

bool platform_reg_open(platform_key parent, const char* subkey, platform_key* key) {
    uint32_t node = present_subkey(parent, subkey);
    if (node == kNoRegistryNode) return false;
    *key = key_of(node);
    return true;
}

bool platform_reg_enum_key(platform_key key, uint32_t index, char* name, uint32_t size) {
    const offline_registry& registry = the_run_registry;
    if (key == 0 || !present(registry, node_of(key))) return false;
    for (uint32_t child : registry_subkeys(registry.bytes, node_of(key))) {
        if (!present(registry, child) || index-- != 0) continue;
        std::string found = registry_key_name(registry.bytes, registry.layout, child);
        if (found.size() >= size) return false;
        memcpy(name, found.c_str(), found.size() + 1);
        return true;
    }
    return false;
}

// As RegDeleteKeyA on Windows 95: the key goes with all its subkeys.
bool platform_reg_delete_key(platform_key key, const char* subkey) {
    uint32_t node = present_subkey(key, subkey);
    if (node == kNoRegistryNode || node == the_run_registry.layout.root) return false;
    the_run_registry.deleted.push_back(node);
    the_run_registry.deleted_nodes.insert(node);
    return true;
}

void platform_reg_close(platform_key) {}
