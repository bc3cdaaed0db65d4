// libFuzzer target: the registry file (registry/registry_file.h) and the
// readings the Linux program takes from it (platform/posix/
// offline_registry.h: the Windows version, how PCI devices are named).
//
// The first byte chooses what the rest is:
//   bit 0     0: the file itself;
//             1: damage to USER.DAT as Windows ME wrote it
//             (tests/data/registry): each 4 bytes put one byte, the first
//             3 its offset, modulo the file's size.  (Its SYSTEM.DAT, 1.2
//             MB, takes seconds an input under the sanitizers: the tests
//             prove it whole, tests/posix/test_offline_registry.py.)
//   bits 1-7  which keys are deleted (below).
// A file that passes the check must list without fault, one key line for
// each node the check reached; deleting one to three of its keys (never the
// root) must succeed and give a file of the same size that passes the check
// and lists as before less those trees.  Any property that fails is printed
// and the program aborts.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../platform/posix/offline_registry.h"
#include "../registry/registry_file.h"

namespace {

std::string real_file;  // USER.DAT of Windows ME

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

[[noreturn]] void broken(const char* what, const std::string& detail) {
    fprintf(stderr, "\nregistry property broken: %s%s%s\n", what, detail.empty() ? "" : ": ",
            detail.c_str());
    abort();
}

// The file the input stands for.
std::string file_of(const uint8_t* data, size_t size) {
    if ((data[0] & 1) == 0) return std::string((const char*)data + 1, size - 1);
    std::string file = real_file;
    if (file.empty()) return file;
    for (size_t at = 1; at + 4 <= size; at += 4) {
        size_t offset = (size_t)data[at] << 16 | (size_t)data[at + 1] << 8 | data[at + 2];
        file[offset % file.size()] = (char)data[at + 3];
    }
    return file;
}

std::string path_of(const std::string& bytes, const registry_layout& layout, uint32_t node) {
    std::string path;
    for (; node != layout.root; node = layout.nodes.at(node).parent)
        path = registry_key_name(bytes, layout, node) + (path.empty() ? "" : "\\" + path);
    return path;
}

// One to three keys other than the root, picked by `choice`.
std::vector<uint32_t> keys_to_delete(const registry_layout& layout, unsigned choice) {
    std::vector<uint32_t> keys;
    for (const auto& node : layout.nodes)
        if (node.first != layout.root) keys.push_back(node.first);
    std::vector<uint32_t> chosen;
    for (unsigned i = 0; !keys.empty() && i <= choice % 3; i++)
        chosen.push_back(keys[(choice * 37 + i * 101) % keys.size()]);
    return chosen;
}

void check_the_readings(const std::string& file) {
    std::string why;
    offline_registry registry;
    if (!offline_registry_load(file, &registry, &why))
        broken("offline_registry_load refuses a checked file", why);
    std::string version, service;
    if (offline_registry_version(registry, &version, &service) &&
        (version.empty() || version.find('\0') != std::string::npos ||
         service.find('\0') != std::string::npos))
        broken("a version with a NUL in it, or empty", version);
    offline_registry_names_pci_as_windows98(registry);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    real_file = read_file(TAMRIX_REGISTRY_DATA "/winme_USER.DAT");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string file = file_of(data, size);
    registry_layout layout;
    std::string why;
    if (!check_registry(file, &layout, &why)) {
        if (why.empty()) broken("a refusal without a reason", "");
        return 0;
    }
    std::vector<registry_entry> listing = registry_listing(file, layout);
    size_t keys = 0;
    for (const registry_entry& entry : listing) keys += entry.is_value ? 0 : 1;
    if (keys != layout.nodes.size())
        broken("the listing's keys are not the nodes the check reached",
               std::to_string(keys) + " keys, " + std::to_string(layout.nodes.size()) + " nodes");
    check_the_readings(file);

    std::vector<uint32_t> nodes = keys_to_delete(layout, data[0] >> 1);
    if (nodes.empty()) return 0;
    std::vector<std::string> paths;
    for (uint32_t node : nodes) paths.push_back(path_of(file, layout, node));
    std::string changed = file;
    if (!delete_registry_keys(&changed, layout, nodes, &why)) broken("a deletion refused", why);
    if (changed.size() != file.size()) broken("a deletion changed the file's size", "");
    registry_layout after;
    if (!check_registry(changed, &after, &why)) broken("a deletion's result fails the check", why);
    if (!(registry_listing(changed, after) == listing_without(listing, paths)))
        broken("the listing after a deletion is not the one before less the deleted trees",
               paths[0]);
    return 0;
}
