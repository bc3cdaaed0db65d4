// The command line of the Linux program, parsed without running anything.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../linux/command_line.h"

namespace {

command_line parse(std::vector<const char*> args, const char* windir = nullptr) {
    args.insert(args.begin(), "tamrix");
    return parse_command_line((int)args.size(), args.data(), windir);
}

struct accepted {
    const char* what;
    std::vector<const char*> args;
    const char* windir;
    run_mode mode;
    bool chipsets, usb;
    const char* windows_dir;
    int platform_kind;
    box_policy boxes;
};

TEST(CommandLine, Accepted) {
    const accepted cases[] = {
        {"dialog on a folder", {"/mnt/win"}, nullptr, mode_dialog, true, true, "/mnt/win", 0,
         answer_by_asking},
        {"status of one file", {"status", "--chipsets", "/a"}, nullptr, mode_status, true, false,
         "/a", 0, answer_by_asking},
        {"dialog on WINDIR", {}, "/w", mode_dialog, true, true, "/w", 0, answer_by_asking},
        {"the argument before WINDIR", {"/a"}, "/w", mode_dialog, true, true, "/a", 0,
         answer_by_asking},
        {"dialog with a kind", {"--platform-kind", "2", "/a"}, nullptr, mode_dialog, true, true,
         "/a", 2, answer_by_asking},
        {"install, both files", {"install", "--windows-dir", "/a"}, nullptr, mode_install, true,
         true, "/a", 0, answer_by_asking},
        {"uninstall, chipsets", {"uninstall", "--chipsets", "--windows-dir=/a"}, nullptr,
         mode_uninstall, true, false, "/a", 0, answer_by_asking},
        {"install, USB, options first", {"--usb", "--yes", "install", "/a"}, nullptr,
         mode_install, false, true, "/a", 0, answer_all_yes},
        {"both named", {"install", "--usb", "--chipsets", "--no", "--platform-kind=0"}, "/w",
         mode_install, true, true, "/w", 0, answer_all_no},
        {"a folder named like an option", {"--", "--usb"}, nullptr, mode_dialog, true, true,
         "--usb", 0, answer_by_asking},
        {"a folder named install", {"./install"}, nullptr, mode_dialog, true, true, "./install",
         0, answer_by_asking},
        {"an empty WINDIR is none", {"/a"}, "", mode_dialog, true, true, "/a", 0,
         answer_by_asking},
        {"a lone word is a folder", {"W"}, nullptr, mode_dialog, true, true, "W", 0,
         answer_by_asking},
    };
    for (const accepted& c : cases) {
        SCOPED_TRACE(c.what);
        command_line got = parse(c.args, c.windir);
        EXPECT_EQ(got.mode, c.mode) << got.error;
        EXPECT_EQ(got.chipsets, c.chipsets);
        EXPECT_EQ(got.usb, c.usb);
        EXPECT_EQ(got.windows_dir, c.windows_dir);
        EXPECT_EQ(got.platform_kind, c.platform_kind);
        EXPECT_EQ(got.boxes, c.boxes);
    }
}

TEST(CommandLine, Refused) {
    const struct {
        std::vector<const char*> args;
        const char* windir;
        const char* error;
    } cases[] = {
        {{}, nullptr, "no Windows folder: name it, or set WINDIR"},
        {{}, "", "no Windows folder: name it, or set WINDIR"},
        {{"uninstall", "--usb"}, nullptr, "no Windows folder: name it, or set WINDIR"},
        {{"--windows-dir", ""}, "/w", "the Windows folder name is empty"},
        {{"/a", "/b"}, nullptr, "unexpected argument /b"},
        {{"/a", "--windows-dir", "/b"}, nullptr, "the Windows folder is given twice"},
        {{"install", "/a", "/b"}, nullptr, "unexpected argument /b"},
        {{"--platform-kind"}, "/w", "--platform-kind takes 0, 1 or 2"},
        {{"--platform-kind", "12"}, "/w", "--platform-kind takes 0, 1 or 2"},
        {{"--platform-kindx", "1"}, "/w", "unknown option --platform-kindx"},
        {{"install", "--win", "/a"}, nullptr, "unknown option --win"},
        {{"--usb=1", "install"}, "/w", "unknown option --usb=1"},
        {{"-x", "/a"}, nullptr, "unknown option -x"},
        {{"install", "--windows-dir"}, "/w", "--windows-dir needs a folder"},
        {{"repair", "/a"}, nullptr, "unknown command repair"},
        {{"--windows-dir", "/a", "repair"}, nullptr, "unknown command repair"},
        {{"install", "--yes", "--no"}, "/w", "--yes and --no exclude each other"},
        {{"--chipsets"}, "/w", "--chipsets goes with install, uninstall or status"},
        {{"--no"}, "/w", "--no goes with install or uninstall"},
        {{"status", "--dry-run"}, "/w", "--dry-run goes with install or uninstall"},
        {{"/a", "install"}, nullptr, "unexpected argument install"},
        {{"install", "--partition", "2"}, "/w", "--partition goes with --image"},
        {{"--image"}, nullptr, "--image needs a disk image file"},
        {{"--image", ""}, nullptr, "the disk image name is empty"},
        {{"--image", "a", "--image", "b"}, nullptr, "the disk image is given twice"},
        {{"--platform-kind", "1", "--platform-kind", "2"}, "/w", "--platform-kind is given twice"},
        {{"--image", "a", "--partition", "1", "--partition=2"}, nullptr,
         "--partition is given twice"},
        {{"status", "--keep-registry"}, "/w",
         "--keep-registry goes with the dialog, install or uninstall"},
        {{"--version", "extra-argument"}, "/w", "--version takes no other argument"},
        {{"status", "--yes", "--version"}, "/w", "--version takes no other argument"},
    };
    for (const auto& c : cases) {
        command_line got = parse(c.args, c.windir);
        EXPECT_EQ(got.mode, mode_invalid) << c.error;
        EXPECT_EQ(got.error, c.error);
    }
}

// With --image the Windows folder is one inside the image: optional, and
// never taken from WINDIR, which names a folder of this system.
TEST(CommandLine, DiskImages) {
    const struct {
        std::vector<const char*> args;
        const char* windir;
        bool has_windows_dir;
        const char* windows_dir;
        int partition;
    } cases[] = {
        {{"install", "--image", "w.img"}, "/w", false, "", 0},
        {{"status", "--image=w.vhd", "--windows-dir", "C:\\WIN95"}, nullptr, true, "C:\\WIN95", 0},
        {{"--image", "w.img", "--partition", "5", "/WINDOWS"}, nullptr, true, "/WINDOWS", 5},
        {{"status", "--image", "w.img", "--partition", "999"}, nullptr, false, "", 999},
    };
    for (const auto& c : cases) {
        command_line got = parse(c.args, c.windir);
        EXPECT_NE(got.mode, mode_invalid) << got.error;
        EXPECT_TRUE(got.has_image);
        EXPECT_EQ(got.has_windows_dir, c.has_windows_dir);
        EXPECT_EQ(got.windows_dir, c.windows_dir);
        EXPECT_EQ(got.partition, c.partition);
    }
    for (const char* number : {"0", "x", "1x", "1000", ""}) {
        command_line got = parse({"--image", "w.img", "--partition", number});
        EXPECT_EQ(got.error,
                  "--partition takes a partition number: 1 to 4, or 5 and up for a logical drive")
            << number;
    }
}

TEST(CommandLine, HelpEndsTheReading) {
    EXPECT_EQ(parse({"install", "--bogus", "--help"}).mode, mode_invalid);
    EXPECT_EQ(parse({"install", "--yes", "--no", "-h"}).mode, mode_help);
    EXPECT_EQ(parse({"--help"}).mode, mode_help);
    EXPECT_EQ(parse({"--version"}).mode, mode_version);
    EXPECT_EQ(parse({"--vers"}).error, "unknown option --vers");
}

}  // namespace
