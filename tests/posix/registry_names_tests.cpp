// Names in the registry file compared as Windows compares them, every byte
// counted: a damaged name may hold a NUL, which C's string functions take
// for its end.  (The fuzz target fuzz/fuzz_registry.cpp found it.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../registry/registry_file.h"

namespace {

std::string bytes(const char* text, size_t size) { return std::string(text, size); }

TEST(RegistryNames, EveryByteCountsCaseOfASCIIDoesNot) {
    EXPECT_TRUE(same_registry_name("Enum\\PCI", "ENUM\\pci"));
    EXPECT_FALSE(same_registry_name("PCI", bytes("PCI\0x", 5)));
    EXPECT_FALSE(same_registry_name(bytes("A\0B", 3), bytes("A\0C", 3)));
    EXPECT_FALSE(same_registry_name("\xC4", "\xE4"));  // not ASCII: as stored
}

TEST(RegistryNames, ListingWithoutADeletedTree) {
    auto key = [](const std::string& path) {
        registry_entry entry;
        entry.path = path;
        return entry;
    };
    const std::vector<registry_entry> listing = {
        key(""), key("Enum"), key("Enum\\PCI"), key(bytes("K\0B", 3)), key(bytes("K\0B\\X", 5)),
        key("Enumerated")};
    struct row {
        std::string deleted;
        size_t kept;
    };
    const row rows[] = {{"enum", 4}, {bytes("K\0C", 3), 6}, {bytes("K\0B", 3), 4},
                        {bytes("K\0BC", 4), 6}};
    for (const row& r : rows)
        EXPECT_EQ(listing_without(listing, {r.deleted}).size(), r.kept) << r.deleted.size();
}

}  // namespace
