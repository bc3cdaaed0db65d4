// Start-up, the dialog procedure and the closing steps of Exit, through the
// scripted backend: what the user is asked, and what is left behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../ops/inf_replace.h"
#include "../system/system.h"
#include "../ui/ui.h"
#include "scripted_platform.h"

namespace {

const char kWarning[] = " The OS is not Windows 95 system.\n Continue, anyway?";
const char kFinish[] = "You must restart your computer.\n Do you want to restart your computer now?";

const char* const kDevices[] = {
    "VEN_8086&DEV_7110", "VEN_8086&DEV_7100", "VEN_8086&DEV_7113", "VEN_8086&DEV_7180",
    "VEN_8086&DEV_7181", "VEN_8086&DEV_7112", "VEN_8086&DEV_7020", "VEN_1039&DEV_7001",
    "VEN_1039&DEV_5571", "VEN_1039&DEV_5597",
};
const char kUnrelated[] = "Enum\\PCI\\VEN_8086&DEV_1250\\BUS_00&DEV_00&FUNC_00";

std::string device_key(const char* device) { return std::string("Enum\\PCI\\") + device; }

// Each device as a real system has it: instances with subkeys of their own.
void add_device_trees() {
    for (const char* device : kDevices) {
        scripted::add_key(device_key(device) + "\\BUS_00&DEV_07&FUNC_00\\LogConf");
        scripted::add_key(device_key(device) + "\\BUS_00&DEV_07&FUNC_01");
    }
    scripted::add_key(kUnrelated);
}

// The program with its dialog on Windows 95, to its end: the exit status.
int run_start(int windows_kind = 1) { return tamrix_start(windows_kind); }

struct DialogTest : ::testing::Test {
    void SetUp() override {
        scripted::reset();
        files_changed = false;
        dir = scripted::make_windows_dir();
        scripted::set_windows_dir(dir);
    }
    std::string dir;
};

// ---- start-up ---------------------------------------------------------------------

TEST(WindowsKind, ComesFromThePlatformAndTheServiceString) {
    struct {
        uint32_t platform_id;
        const char* service;
        int kind;
    } cases[] = {
        {0, "", 0},      // Win32s
        {2, "", 0},      // Windows NT
        {2, " B", 0},    // NT with a service pack
        {1, "", 1},      // Windows 95
        {1, " B", 2},    // Windows 95 OSR2
        {1, " A ", 2},   // Windows 98 SE
        {3, "", 0},      // anything newer
    };
    for (const auto& c : cases)
        EXPECT_EQ(windows_kind(c.platform_id, c.service), c.kind)
            << "platform " << c.platform_id << ", \"" << c.service << "\"";
}

TEST_F(DialogTest, start_up_warns_only_where_the_system_is_not_windows_95) {
    struct {
        const char* what;
        int kind;
        box_answer answer;
        bool warned;
        bool dialog_shown;
    } cases[] = {
        {"kind 0, No ends at once", 0, answer_no, true, false},
        {"kind 0, Yes shows the dialog", 0, answer_yes, true, true},
        {"kind 1 asks nothing", 1, answer_no, false, true},
        {"kind 2 asks nothing", 2, answer_no, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        scripted::reset();
        scripted::set_windows_dir(dir);
        scripted::answer(c.answer);
        EXPECT_EQ(run_start(c.kind), 0);
        ASSERT_EQ(scripted::boxes().size(), c.warned ? 1u : 0u);
        if (c.warned) {
            EXPECT_EQ(scripted::boxes()[0].text, kWarning);
            EXPECT_EQ(scripted::boxes()[0].caption, "Warning");
            EXPECT_EQ(scripted::boxes()[0].icon, icon_information);
            EXPECT_EQ(scripted::boxes()[0].buttons, buttons_yes_no);
        }
        EXPECT_EQ(scripted::dialogs_run(), c.dialog_shown ? 1 : 0);
    }
}

// ---- the dialog procedure -------------------------------------------------------------

TEST_F(DialogTest, dialog_starts_with_both_boxes_checked_and_the_windows_directory_read) {
    scripted::set_check(IDC_CHIPSETS, 0);
    scripted::set_check(IDC_USB, 0);
    scripted::queue_command(IDC_EXIT);
    EXPECT_EQ(run_start(), 0);
    EXPECT_EQ(scripted::check_state(IDC_CHIPSETS), 1);
    EXPECT_EQ(scripted::check_state(IDC_USB), 1);
    EXPECT_EQ(std::string(windows_dir), dir);
    EXPECT_EQ(dialog_window, scripted::dialog());
}

TEST_F(DialogTest, commands_that_are_no_button_do_nothing) {
    // Escape's cancel, a button's id with a notification code other than a
    // click, and an unknown id: the dialog stays and no file is touched.
    const uintptr_t commands[] = {kCancelCommand, IDC_INSTALL | (1u << 16),
                                  IDC_EXIT | (5u << 16), IDC_USB};
    for (uintptr_t command : commands) {
        SCOPED_TRACE(command);
        scripted::reset();
        scripted::set_windows_dir(dir);
        scripted::queue_command(command);
        EXPECT_EQ(run_start(), 0);
        EXPECT_FALSE(scripted::dialog_ended());
        EXPECT_TRUE(scripted::boxes().empty());
        EXPECT_TRUE(scripted::file_calls().empty());
    }
}

TEST_F(DialogTest, install_button_runs_install_and_exit_ends_the_dialog) {
    scripted::write_file(dir + "/inf/machine.inf", "[Version]\r\n");
    scripted::write_file(dir + "/inf/usb.inf", "[Version]\r\n");
    scripted::queue_command(IDC_INSTALL);
    scripted::queue_command(IDC_EXIT);
    add_device_trees();
    EXPECT_EQ(run_start(), 0);
    ASSERT_EQ(scripted::boxes().size(), 2u);
    EXPECT_EQ(scripted::boxes()[0].text, " The utility has updated completely!");
    EXPECT_EQ(scripted::boxes()[1].text, kFinish);
    EXPECT_TRUE(scripted::dialog_ended());
    EXPECT_EQ(scripted::dialog_result(), 1);
    EXPECT_TRUE(files_changed);
    EXPECT_FALSE(scripted::key_exists(device_key(kDevices[0])));
}

// A run that cannot go on ends the program with status 1 at once: no later
// command runs, and Exit's closing steps are skipped.
TEST_F(DialogTest, a_missing_machine_inf_ends_the_program_with_status_1) {
    add_device_trees();
    scripted::queue_command(IDC_INSTALL);
    scripted::queue_command(IDC_EXIT);
    files_changed = true;  // as after an earlier change
    EXPECT_EQ(run_start(), 1);
    ASSERT_EQ(scripted::boxes().size(), 1u);
    EXPECT_EQ(scripted::boxes()[0].text, "Can't find " + dir + "\\inf\\machine.inf");
    EXPECT_TRUE(scripted::dialog_ended());
    EXPECT_TRUE(scripted::key_exists(device_key(kDevices[0])));
}

TEST_F(DialogTest, exit_in_a_fresh_process_asks_nothing_and_touches_no_key) {
    add_device_trees();
    scripted::queue_command(IDC_EXIT);
    EXPECT_EQ(run_start(), 0);
    EXPECT_TRUE(scripted::dialog_ended());
    EXPECT_TRUE(scripted::boxes().empty());
    for (const char* device : kDevices) EXPECT_TRUE(scripted::key_exists(device_key(device)));
    EXPECT_EQ(scripted::open_registry_keys(), 0);
}

// ---- the closing steps of Exit ------------------------------------------------------------

TEST_F(DialogTest, finish_removes_every_device_tree_on_every_kind_and_asks_to_restart) {
    struct {
        const char* what;
        bool nt;
        box_answer answer;
        int restarts;
    } cases[] = {
        {"Windows NT deletes subkeys first; Yes restarts", true, answer_yes, 1},
        {"Windows 95 deletes in one call; No keeps running", false, answer_no, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        scripted::reset();
        scripted::set_nt_registry(c.nt);
        add_device_trees();
        scripted::answer(c.answer);
        finish_changes();
        for (const char* device : kDevices) EXPECT_FALSE(scripted::key_exists(device_key(device)));
        EXPECT_TRUE(scripted::key_exists(kUnrelated));
        ASSERT_EQ(scripted::boxes().size(), 1u);
        EXPECT_EQ(scripted::boxes()[0].text, kFinish);
        EXPECT_EQ(scripted::boxes()[0].caption, "Finish");
        EXPECT_EQ(scripted::boxes()[0].icon, icon_none);
        EXPECT_EQ(scripted::boxes()[0].buttons, buttons_yes_no);
        EXPECT_EQ(scripted::restarts_requested(), c.restarts);
        EXPECT_EQ(scripted::open_registry_keys(), 0);
    }
}

// A system that never had some of the devices: they are skipped silently.
TEST_F(DialogTest, finish_with_some_devices_missing_deletes_the_others) {
    scripted::add_key(device_key(kDevices[3]) + "\\BUS_00&DEV_07&FUNC_00");
    scripted::add_key(device_key(kDevices[9]));
    scripted::add_key(kUnrelated);
    finish_changes();
    EXPECT_FALSE(scripted::key_exists(device_key(kDevices[3])));
    EXPECT_FALSE(scripted::key_exists(device_key(kDevices[9])));
    EXPECT_TRUE(scripted::key_exists(kUnrelated));
    EXPECT_EQ(scripted::boxes().size(), 1u);
}

// Where no restart can be offered, Exit tells when the change takes effect
// and asks nothing; the keys are deleted all the same.
TEST_F(DialogTest, finish_where_no_restart_can_be_offered_says_when_the_change_takes_effect) {
    scripted::set_cannot_restart(true);
    add_device_trees();
    scripted::answer(answer_yes);  // never asked for
    finish_changes();
    for (const char* device : kDevices) EXPECT_FALSE(scripted::key_exists(device_key(device)));
    ASSERT_EQ(scripted::boxes().size(), 1u);
    EXPECT_EQ(scripted::boxes()[0].text,
              "The changes take effect when the Windows being patched next starts.");
    EXPECT_EQ(scripted::boxes()[0].caption, "Finish");
    EXPECT_EQ(scripted::boxes()[0].icon, icon_information);
    EXPECT_EQ(scripted::boxes()[0].buttons, buttons_ok);
    EXPECT_EQ(scripted::pending_answers(), 1u);
    EXPECT_EQ(scripted::restarts_requested(), 0);
}

TEST_F(DialogTest, finish_without_a_registry_names_the_devices_and_never_restarts) {
    scripted::set_registry_unavailable(true);
    scripted::answer(answer_yes);
    finish_changes();
    ASSERT_EQ(scripted::boxes().size(), 2u);
    EXPECT_EQ(scripted::boxes()[0].text, kFinish);
    EXPECT_EQ(scripted::boxes()[1].caption, "Finish");
    EXPECT_EQ(scripted::boxes()[1].icon, icon_information);
    EXPECT_EQ(scripted::boxes()[1].buttons, buttons_ok);
    EXPECT_EQ(scripted::boxes()[1].text,
              "The Windows being patched is not running here, so its devices could not be reset.\n"
              "At its next start, remove these devices in Device Manager, then restart it:\n"
              "    PCI\\VEN_8086&DEV_7110\n"
              "    PCI\\VEN_8086&DEV_7100\n"
              "    PCI\\VEN_8086&DEV_7113\n"
              "    PCI\\VEN_8086&DEV_7180\n"
              "    PCI\\VEN_8086&DEV_7181\n"
              "    PCI\\VEN_8086&DEV_7112\n"
              "    PCI\\VEN_8086&DEV_7020\n"
              "    PCI\\VEN_1039&DEV_7001\n"
              "    PCI\\VEN_1039&DEV_5571\n"
              "    PCI\\VEN_1039&DEV_5597");
    EXPECT_EQ(scripted::restarts_requested(), 0);
}

}  // namespace
