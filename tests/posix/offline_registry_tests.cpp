// The offline registry as objects, on the SYSTEM.DAT that Windows ME wrote
// (tests/data/registry): keys counted without deleting any, the run's
// registry and a second one open at once, and the seam's registry calls
// asking the front end's table (platform/posix/front_end_calls.h) for the
// Windows folder, and telling it why a file was refused.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../../platform/posix/front_end_calls.h"
#include "../../platform/posix/offline_registry.h"

namespace {

const std::string kData = TAMRIX_REGISTRY_DATA;
// Two of its PCI keys, as the file names them.
const char kBridge[] = "Enum\\PCI\\VEN_8086&DEV_7113&SUBSYS_00000000&REV_08";
const char kIsa[] = "Enum\\PCI\\VEN_8086&DEV_7000&SUBSYS_00000000&REV_00";

std::string windows_folder;        // what the test's front end names as the Windows folder
std::vector<std::string> refusals;  // what it was told of a refused SYSTEM.DAT

// A Windows folder whose SYSTEM.DAT is the file `name` of tests/data/registry,
// as the Windows folder of the test's front end; gone when the test ends.
struct windows_folder_with {
    explicit windows_folder_with(const char* name) {
        char folder[] = "/tmp/tamrix-registry-XXXXXX";
        EXPECT_NE(mkdtemp(folder), nullptr);
        windows_folder = folder;
        EXPECT_EQ(symlink((kData + "/" + name).c_str(), system_dat().c_str()), 0);
        static const front_end_calls calls = {
            [] { return windows_folder.c_str(); }, nullptr, nullptr, nullptr, nullptr, nullptr,
            nullptr, nullptr, [](const char* why) { refusals.push_back(why); }};
        platform_front_end = &calls;
        refusals.clear();
        run_registry_forget();
    }
    ~windows_folder_with() {
        unlink(system_dat().c_str());
        rmdir(windows_folder.c_str());
    }
    std::string system_dat() const { return windows_folder + "/SYSTEM.DAT"; }
};

TEST(OfflineRegistry, CountsKeysWithoutDeletingAny) {
    offline_registry registry;
    std::string why, changed;
    ASSERT_TRUE(offline_registry_open(kData + "/winme_SYSTEM.DAT", &registry, &why)) << why;
    // Matched without regard to case, named as the file names them, in the
    // order asked; a missing key and the root are not held.
    const char* const asked[] = {"enum\\pci\\ven_8086&dev_7000&subsys_00000000&rev_00", "",
                                 "Enum\\PCI\\VEN_8086&DEV_7113", kBridge, "Enum\\Nowhere"};
    EXPECT_EQ(offline_registry_held(registry, asked, 5), (std::vector<std::string>{kIsa, kBridge}));
    EXPECT_TRUE(offline_registry_deleted(registry).empty());
    ASSERT_TRUE(offline_registry_changed(registry, &changed, &why)) << why;
    EXPECT_EQ(changed, registry.bytes);
}

TEST(OfflineRegistry, TheRunsRegistryBesideAnother) {
    windows_folder_with folder("winme_SYSTEM.DAT");
    platform_key root = platform_local_machine();
    ASSERT_NE(root, 0u);
    ASSERT_TRUE(platform_reg_delete_key(root, kBridge));
    offline_registry other;
    std::string why;
    ASSERT_TRUE(offline_registry_open(folder.system_dat(), &other, &why)) << why;
    const char* const keys[] = {kIsa, kBridge};
    // The deletion is the run's registry's alone.
    EXPECT_EQ(offline_registry_held(run_registry(), keys, 2), (std::vector<std::string>{kIsa}));
    EXPECT_EQ(offline_registry_deleted(run_registry()), (std::vector<std::string>{kBridge}));
    EXPECT_EQ(offline_registry_held(other, keys, 2), (std::vector<std::string>{kIsa, kBridge}));
    EXPECT_TRUE(offline_registry_deleted(other).empty());
    EXPECT_TRUE(refusals.empty());
}

TEST(OfflineRegistry, ARefusedFileIsToldWithItsReasonAndNoKeyIsAtHand) {
    windows_folder_with folder("winme_USER.DAT");  // no Enum: not HKEY_LOCAL_MACHINE
    EXPECT_EQ(platform_local_machine(), 0u);
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_NE(refusals[0].find("Enum"), std::string::npos) << refusals[0];
}

}  // namespace
