// The tests' handle on the registry file module (registry/registry_file.h):
//   registry_tool check FILE           prints "clean: N free key nodes" (the entries of
//                                      RGKN's free list), or why the file is refused (status 1)
//   registry_tool list FILE            prints the listing, one key or value a line
//   registry_tool delete FILE KEY...   deletes the keys (paths below the root, absent
//                                      ones skipped) in place, proving the result first
#include "registry/registry_file.h"

#include <stdio.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string hex(const std::string& bytes) {
    std::string text;
    char digits[3];
    for (unsigned char c : bytes) {
        snprintf(digits, sizeof digits, "%02x", c);
        text += digits;
    }
    return text;
}

void print(const std::vector<registry_entry>& listing) {
    for (const registry_entry& entry : listing) {
        if (entry.is_value)
            printf("%s\t%s\t%u\t%s\n", entry.path.c_str(), entry.name.c_str(), entry.type,
                   hex(entry.data).c_str());
        else
            printf("%s\n", entry.path.c_str());
    }
}

int refuse(const std::string& why) {
    printf("%s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return refuse("usage: registry_tool check|list|delete FILE [KEY...]");
    std::string command = argv[1], bytes = read_file(argv[2]), why;
    registry_layout layout;
    if (!check_registry(bytes, &layout, &why)) return refuse(why);
    if (command == "check") {
        printf("clean: %zu free key nodes\n", layout.free_node_count);
    } else if (command == "list") {
        print(registry_listing(bytes, layout));
    } else if (command == "delete") {
        std::vector<uint32_t> nodes;
        std::vector<std::string> paths;
        for (int i = 3; i < argc; i++) {
            uint32_t node = find_registry_key(bytes, layout, layout.root, argv[i]);
            if (node == kNoRegistryNode) continue;
            nodes.push_back(node);
            paths.push_back(argv[i]);
        }
        std::string changed = bytes;
        if (!delete_registry_keys(&changed, layout, nodes, &why)) return refuse(why);
        registry_layout changed_layout;
        if (!check_registry(changed, &changed_layout, &why)) return refuse(why);
        if (!(registry_listing(changed, changed_layout) ==
              listing_without(registry_listing(bytes, layout), paths)))
            return refuse("the listing after is not the listing before less the deleted keys");
        std::ofstream(argv[2], std::ios::binary) << changed;
    } else {
        return refuse("unknown command " + command);
    }
    return 0;
}
