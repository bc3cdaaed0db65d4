// The Install and Uninstall commands: which files they touch and in what
// order, the boxes they show, how they end, and what they leave on disk.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "../ui/ui.h"
#include "inf_fixtures.h"

using namespace fx;
using namespace std::string_literals;

namespace {

enum command { install, uninstall };

struct injection {
    scripted::call kind;
    int nth;  // 0: nothing fails
};
const injection kNothing{scripted::call_open_read, 0};

struct run_case {
    const char* what;
    command cmd;
    int chipsets, usb;  // check box states
    folder before;
    injection failing;
    std::vector<want_box> boxes;
    std::optional<int> exit_status;
    bool files_changed;
    folder after;
};

const std::string kUtf16 = "\xFF\xFE[\0V\0]\0\r\0\n\0"s;

// Both files present unless the row says otherwise; `M`, `U`: as before
// Install, `M+`, `U+`: as after it.
const folder kBothOld{{"machine.inf", kMachineOld}, {"usb.inf", kUsbOld}};
const folder kBothNew{{"machine.inf", kMachineNew}, {"usb.inf", kUsbNew}};

const run_case kRunCases[] = {
    // ---- nothing selected
    {"install, nothing selected", install, 0, 0, kBothOld, kNothing, {kChooseBox}, {}, false,
     kBothOld},
    {"uninstall, nothing selected", uninstall, 0, 0, kBothNew, kNothing, {kChooseBox}, {}, false,
     kBothNew},
    {"install, both boxes indeterminate (2) count as unchecked", install, 2, 2, kBothOld,
     kNothing, {kChooseBox}, {}, false, kBothOld},

    // ---- both present, one or both selected
    {"install, both", install, 1, 1, kBothOld, kNothing, {kInstalledBox}, {}, true, kBothNew},
    {"install, chipsets only", install, 1, 0, kBothOld, kNothing, {kInstalledBox}, {}, true,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbOld}}},
    {"install, usb only; an indeterminate chipsets box is unchecked", install, 2, 1, kBothOld,
     kNothing, {kInstalledBox}, {}, true, {{"machine.inf", kMachineOld}, {"usb.inf", kUsbNew}}},
    {"uninstall, both", uninstall, 1, 1, kBothNew, kNothing, {kUninstalledBox}, {}, true,
     kBothOld},
    {"uninstall, usb only", uninstall, 0, 1, kBothNew, kNothing, {kUninstalledBox}, {}, true,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbOld}}},
    {"uninstall in a fresh process on unmarked files", uninstall, 1, 1, kBothOld, kNothing,
     {kUninstalledBox}, {}, true, kBothOld},

    // ---- machine.inf missing
    {"install, machine.inf missing", install, 1, 1, {{"usb.inf", kUsbOld}}, kNothing,
     {cant_find("machine.inf")}, 1, false, {{"usb.inf", kUsbOld}}},
    {"uninstall, machine.inf missing", uninstall, 1, 1, {{"usb.inf", kUsbNew}}, kNothing,
     {cant_find("machine.inf")}, 1, false, {{"usb.inf", kUsbNew}}},

    // ---- usb.inf missing
    {"install, both, usb.inf missing: created", install, 1, 1, {{"machine.inf", kMachineOld}},
     kNothing, {kInstalledBox}, {}, true,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbCreated}}},
    {"install, usb only, usb.inf missing: created, and files_changed set", install, 0, 1,
     {{"machine.inf", kMachineOld}}, kNothing, {kInstalledBox}, {}, true,
     {{"machine.inf", kMachineOld}, {"usb.inf", kUsbCreated}}},
    {"uninstall, both, usb.inf missing", uninstall, 1, 1, {{"machine.inf", kMachineNew}},
     kNothing, {cant_find("usb.inf")}, {}, true, {{"machine.inf", kMachineOld}}},
    {"uninstall, usb only, usb.inf missing", uninstall, 0, 1, {{"machine.inf", kMachineNew}},
     kNothing, {cant_find("usb.inf")}, {}, false, {{"machine.inf", kMachineNew}}},

    // ---- out.inf not creatable
    {"install, out.inf not creatable for machine.inf", install, 1, 1, kBothOld,
     {scripted::call_open_write, 1}, {cant_create("out.inf")}, 1, false, kBothOld},
    {"install, out.inf not creatable for usb.inf", install, 1, 1, kBothOld,
     {scripted::call_open_write, 2}, {cant_create("out.inf")}, 1, true,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbOld}}},
    {"uninstall, out.inf not creatable", uninstall, 1, 1, kBothNew,
     {scripted::call_open_write, 1}, {cant_create("out.inf")}, 1, false, kBothNew},
    {"uninstall, out.inf a folder", uninstall, 1, 1,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbNew}, {"out.inf", kFolder}}, kNothing,
     {cant_create("out.inf")}, 1, false,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbNew}, {"out.inf", kFolder}}},

    // ---- a new usb.inf not creatable or not writable
    {"install, usb only, new usb.inf not creatable", install, 0, 1,
     {{"machine.inf", kMachineOld}}, {scripted::call_open_write, 1}, {kCreateUsbBox}, 1, false,
     {{"machine.inf", kMachineOld}}},
    {"install, both, new usb.inf not creatable", install, 1, 1, {{"machine.inf", kMachineOld}},
     {scripted::call_open_write, 2}, {kCreateUsbBox}, 1, true, {{"machine.inf", kMachineNew}}},
    {"install, usb only, a write to the new usb.inf fails", install, 0, 1,
     {{"machine.inf", kMachineOld}}, {scripted::call_write, 1}, {cant_write("usb.inf")}, 1, false,
     {{"machine.inf", kMachineOld}}},
    {"install, usb only, the new usb.inf's flush fails", install, 0, 1,
     {{"machine.inf", kMachineOld}}, {scripted::call_flush, 1}, {cant_write("usb.inf")}, 1, false,
     {{"machine.inf", kMachineOld}}},
    {"install, usb only, the new usb.inf's close fails", install, 0, 1,
     {{"machine.inf", kMachineOld}}, {scripted::call_close, 1}, {cant_write("usb.inf")}, 1, false,
     {{"machine.inf", kMachineOld}}},

    // ---- renames
    {"install, first rename of machine.inf fails", install, 1, 1, kBothOld,
     {scripted::call_rename, 1}, {kInstallRenameBox}, {}, false,
     {{"machine.inf", kMachineOld}, {"usb.inf", kUsbOld}, {"out.inf", kMachineNew}}},
    {"install, second rename of machine.inf fails: the backup gets its name back", install, 1,
     1, kBothOld, {scripted::call_rename, 2}, {kInstallRenameBox}, {}, false,
     {{"machine.inf", kMachineOld}, {"usb.inf", kUsbOld}, {"out.inf", kMachineNew}}},
    {"install, first rename of usb.inf fails", install, 1, 1, kBothOld,
     {scripted::call_rename, 3}, {kInstallRenameBox}, {}, true,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbOld}, {"out.inf", kUsbNew}}},
    {"uninstall, first rename of machine.inf fails", uninstall, 1, 1, kBothNew,
     {scripted::call_rename, 1}, {kUninstallRenameBox}, {}, false,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbNew}, {"out.inf", kMachineOld}}},
    {"uninstall, second rename of usb.inf fails", uninstall, 0, 1, kBothNew,
     {scripted::call_rename, 2}, {kUninstallRenameBox}, {}, false,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbNew}, {"out.inf", kUsbOld}}},
    {"uninstall, first rename of usb.inf fails", uninstall, 1, 1, kBothNew,
     {scripted::call_rename, 3}, {kUninstallRenameBox}, {}, true,
     {{"machine.inf", kMachineOld}, {"usb.inf", kUsbNew}, {"out.inf", kUsbOld}}},

    // ---- writes and reads of the replacement
    {"install, out.inf for machine.inf: a write fails", install, 1, 1, kBothOld,
     {scripted::call_write, 1}, {cant_write("out.inf")}, {}, false, kBothOld},
    {"install, out.inf for machine.inf: the close fails", install, 1, 1, kBothOld,
     {scripted::call_close, 2}, {cant_write("out.inf")}, {}, false, kBothOld},
    {"install, out.inf for usb.inf: the flush fails", install, 1, 1, kBothOld,
     {scripted::call_flush, 2}, {cant_write("out.inf")}, {}, true,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbOld}}},
    {"uninstall, out.inf for machine.inf: the flush fails", uninstall, 1, 1, kBothNew,
     {scripted::call_flush, 1}, {cant_write("out.inf")}, {}, false, kBothNew},
    {"install, machine.inf: a read fails", install, 1, 1, kBothOld, {scripted::call_read, 1},
     {cant_read("machine.inf")}, {}, false, kBothOld},
    {"uninstall, machine.inf: a read fails", uninstall, 1, 1, kBothNew, {scripted::call_read, 1},
     {cant_read("machine.inf")}, {}, false, kBothNew},
    {"install, usb.inf exists but cannot be opened: no new file over it", install, 1, 1,
     kBothOld, {scripted::call_open_read, 2}, {cant_read("usb.inf")}, {}, true,
     {{"machine.inf", kMachineNew}, {"usb.inf", kUsbOld}}},
    {"install, usb.inf is a folder", install, 0, 1,
     {{"machine.inf", kMachineOld}, {"usb.inf", kFolder}}, kNothing, {cant_read("usb.inf")}, {},
     false, {{"machine.inf", kMachineOld}, {"usb.inf", kFolder}}},
    {"install, usb.inf is UTF-16", install, 1, 1,
     {{"machine.inf", kMachineOld}, {"usb.inf", kUtf16}}, kNothing, {not_text("usb.inf")}, {},
     true, {{"machine.inf", kMachineNew}, {"usb.inf", kUtf16}}},
    {"uninstall, machine.inf is UTF-16: usb.inf not reached", uninstall, 1, 1,
     {{"machine.inf", kUtf16}, {"usb.inf", kUsbNew}}, kNothing, {not_text("machine.inf")}, {},
     false, {{"machine.inf", kUtf16}, {"usb.inf", kUsbNew}}},
    // A byte-order mark and nothing after it is still no text file.
    {"install, machine.inf is nothing but FF FE", install, 1, 1,
     {{"machine.inf", "\xFF\xFE"}, {"usb.inf", kUsbOld}}, kNothing, {not_text("machine.inf")}, {},
     false, {{"machine.inf", "\xFF\xFE"}, {"usb.inf", kUsbOld}}},
    {"uninstall, machine.inf is nothing but FE FF", uninstall, 1, 1,
     {{"machine.inf", "\xFE\xFF"}, {"usb.inf", kUsbNew}}, kNothing, {not_text("machine.inf")}, {},
     false, {{"machine.inf", "\xFE\xFF"}, {"usb.inf", kUsbNew}}},

    // ---- an earlier run killed between the two renames
    {"install, usb only, usb.inf under its backup name: brought back, not created", install, 0,
     1, {{"machine.inf", kMachineOld}, {"usb.in@", kUsbOld}, {"out.inf", "partial"}}, kNothing,
     {kInstalledBox}, {}, true, {{"machine.inf", kMachineOld}, {"usb.inf", kUsbNew}}},
    {"uninstall, chipsets only, machine.inf under its backup name", uninstall, 1, 0,
     {{"machine.in@", kMachineNew}, {"usb.inf", kUsbNew}, {"out.inf", "partial"}}, kNothing,
     {kUninstalledBox}, {}, true, {{"machine.inf", kMachineOld}, {"usb.inf", kUsbNew}}},
};

class runs_test : public inf_test {
protected:
    // Through the dialog's commands, which read the check boxes.
    static run_outcome run(command cmd) { return cmd == install ? on_install() : on_uninstall(); }
    size_t calls_naming(const std::string& name) const {
        return std::count_if(
            scripted::file_calls().begin(), scripted::file_calls().end(),
            [&](const scripted::file_call& c) { return c.path.find(name) != std::string::npos; });
    }
};

TEST_F(runs_test, failure_table_and_edge_cases) {
    for (const run_case& c : kRunCases) {
        SCOPED_TRACE(c.what);
        fresh_process();
        lay_out(c.before);
        scripted::set_check(IDC_CHIPSETS, c.chipsets);
        scripted::set_check(IDC_USB, c.usb);
        if (c.failing.nth > 0) scripted::fail(c.failing.kind, c.failing.nth);

        EXPECT_EQ(exit_status(run(c.cmd)), c.exit_status);
        EXPECT_EQ(scripted::runs_begun(), scripted::runs_ended());  // the folder given back
        expect_boxes(c.boxes);
        EXPECT_EQ(files_changed, c.files_changed);
        EXPECT_EQ(snapshot(), c.after);
    }
}

// ---- what a run does not touch -------------------------------------------------------

TEST_F(runs_test, nothing_selected_touches_no_file) {
    for (command cmd : {install, uninstall}) {
        fresh_process();
        lay_out(kBothOld);
        scripted::set_check(IDC_CHIPSETS, 0);
        scripted::set_check(IDC_USB, 0);
        run(cmd);
        EXPECT_TRUE(scripted::file_calls().empty());
    }
}

// A run holds the INF folder from start to end and swaps only inside the
// brackets that keep an interruption out; one that finds the folder held by
// another copy touches nothing.
TEST_F(runs_test, the_folder_is_held_for_the_run_and_renames_are_swaps) {
    lay_out(kBothOld);
    EXPECT_FALSE(run(install).held_elsewhere);
    EXPECT_EQ(scripted::runs_begun(), 1);
    EXPECT_EQ(scripted::runs_ended(), 1);
    EXPECT_EQ(scripted::renames_in_swap(), 4);
    EXPECT_EQ(scripted::renames_outside_swap(), 0);

    fresh_process();
    scripted::hold_inf_folder_elsewhere();
    for (command cmd : {install, uninstall}) {
        run_outcome outcome = run(cmd);
        EXPECT_TRUE(outcome.held_elsewhere);
        EXPECT_FALSE(outcome.ends_process);
    }
    EXPECT_TRUE(scripted::file_calls().empty());
    EXPECT_FALSE(files_changed);
    EXPECT_EQ(snapshot(), kBothNew);
}

TEST_F(runs_test, machine_inf_missing_ends_before_usb_inf) {
    for (command cmd : {install, uninstall}) {
        fresh_process();
        lay_out({{"usb.inf", kUsbOld}});
        EXPECT_EQ(exit_status(run(cmd)), 1);
        EXPECT_GT(calls_naming("machine.inf"), 0u);
        EXPECT_EQ(calls_naming("usb.inf"), 0u);
    }
}

TEST_F(runs_test, single_selection_touches_only_its_file) {
    fresh_process();
    lay_out({{"machine.inf", kMachineOld}});
    scripted::set_check(IDC_CHIPSETS, 0);
    on_install();
    EXPECT_EQ(calls_naming("machine."), 0u);

    fresh_process();
    lay_out(kBothOld);
    scripted::set_check(IDC_USB, 0);
    on_install();
    EXPECT_EQ(calls_naming("usb."), 0u);
}

// An Uninstall that finds nothing to remove still swaps both files in.
TEST_F(runs_test, uninstall_of_unmarked_files_replaces_both) {
    lay_out(kBothOld);
    on_uninstall();
    std::vector<std::string> renames;
    for (const auto& call : scripted::file_calls())
        if (call.kind == scripted::call_rename) renames.push_back(slashes(call.path));
    const std::string inf = slashes(inf_name()) + "/";
    const std::vector<std::string> want = {
        inf + "machine.inf -> " + inf + "machine.in@", inf + "out.inf -> " + inf + "machine.inf",
        inf + "usb.inf -> " + inf + "usb.in@",         inf + "out.inf -> " + inf + "usb.inf",
    };
    EXPECT_EQ(renames, want);
    EXPECT_EQ(snapshot(), kBothOld);
    EXPECT_TRUE(files_changed);
}

// A path too long for its buffer stops the run after its own box.
TEST_F(runs_test, path_too_long_stops_the_run) {
    start(244);  // machine.inf's path is 260 characters, usb.inf's 256
    lay_out(kBothOld);
    EXPECT_EQ(exit_status(on_install()), std::nullopt);
    expect_boxes({too_long("machine.inf")});
    EXPECT_FALSE(files_changed);
    EXPECT_EQ(snapshot(), kBothOld);
}

// ---- the road of an Install ------------------------------------------------------------
// Both boxes checked, platform kind 2, the usual usb.inf; then usb.inf gone
// and Install again; then Uninstall, which empties the new usb.inf.
TEST_F(runs_test, road_of_an_install) {
    const selection both{true, true};
    lay_out({{"machine.inf", kMachineOld}, {"usb.inf", kUsbOld}});

    EXPECT_EQ(exit_status(run_install(both, 2)), std::nullopt);
    expect_boxes({kInstalledBox});
    EXPECT_EQ(scripted::boxes().at(0).buttons, buttons_ok);
    EXPECT_TRUE(files_changed);
    EXPECT_EQ(snapshot(), (folder{{"machine.inf", kMachineNewKind2}, {"usb.inf", kUsbNew}}));
    std::vector<std::string> opened;
    for (const auto& call : scripted::file_calls())
        if (call.kind == scripted::call_open_read) opened.push_back(slashes(call.path));
    EXPECT_EQ(opened, (std::vector<std::string>{slashes(inf_name()) + "/machine.inf",
                                                slashes(inf_name()) + "/usb.inf"}));

    // No usb.inf: the 16 lines alone; machine.inf holds every line already.
    std::filesystem::remove(inf_dir() + "/usb.inf");
    size_t shown = scripted::boxes().size();
    EXPECT_EQ(exit_status(run_install(both, 2)), std::nullopt);
    expect_boxes({kInstalledBox}, shown);
    EXPECT_EQ(snapshot(), (folder{{"machine.inf", kMachineNewKind2}, {"usb.inf", kUsbCreated}}));

    // Uninstall: machine.inf as it was, usb.inf empty but still there.
    shown = scripted::boxes().size();
    EXPECT_EQ(exit_status(run_uninstall(both)), std::nullopt);
    expect_boxes({kUninstalledBox}, shown);
    EXPECT_EQ(snapshot(), (folder{{"machine.inf", kMachineOld}, {"usb.inf", ""}}));
    EXPECT_TRUE(files_changed);
}

}  // namespace
