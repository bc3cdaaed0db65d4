// The scripted backend does what the other tests rely on: file calls reach
// the real files unless scripted to fail, and the rest answers as the
// systems it stands for would.
#include <fcntl.h>
#include <gtest/gtest.h>

#include "scripted_platform.h"

namespace {

class ScriptedPlatform : public ::testing::Test {
  protected:
    void SetUp() override {
        scripted::reset();
        dir = scripted::make_windows_dir();
        path = dir + "\\inf\\a.inf";
    }
    void TearDown() override { scripted::reset(); }
    std::string dir, path;
};

TEST_F(ScriptedPlatform, FileCallsPassThroughAndAreRecorded) {
    platform_file file;
    ASSERT_TRUE(platform_open_write(path.c_str(), &file, write_anew));
    EXPECT_TRUE(platform_write(file, "abc", 3));
    EXPECT_TRUE(platform_close(file));
    EXPECT_EQ(scripted::read_file(dir + "/inf/a.inf"), "abc");
    EXPECT_TRUE(platform_rename(path.c_str(), (dir + "\\inf\\b.inf").c_str()));
    EXPECT_FALSE(platform_delete(path.c_str()));

    std::vector<std::pair<scripted::call, std::string>> expected = {
        {scripted::call_open_write, path},
        {scripted::call_write, ""},
        {scripted::call_close, ""},
        {scripted::call_rename, path + " -> " + dir + "\\inf\\b.inf"},
        {scripted::call_delete, path},
    };
    std::vector<std::pair<scripted::call, std::string>> calls;
    for (const scripted::file_call& c : scripted::file_calls()) calls.push_back({c.kind, c.path});
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(scripted::list_dir(dir + "/inf"), std::vector<std::string>{"b.inf"});
}

TEST_F(ScriptedPlatform, TheNthCallFromNowOnFailsWithoutEffect) {
    platform_file file;
    ASSERT_TRUE(platform_open_write(path.c_str(), &file, write_anew));
    EXPECT_TRUE(platform_write(file, "a", 1));
    scripted::fail(scripted::call_write, 2);  // counted from here: the write of "c"
    EXPECT_TRUE(platform_write(file, "b", 1));
    EXPECT_FALSE(platform_write(file, "c", 1));
    EXPECT_TRUE(platform_write(file, "d", 1));
    scripted::fail_any(2);  // the flush
    EXPECT_TRUE(platform_write(file, "e", 1));
    EXPECT_FALSE(platform_flush(file));
    EXPECT_TRUE(platform_close(file));
    EXPECT_EQ(scripted::read_file(path), "abde");

    scripted::fail(scripted::call_open_read, 1);
    EXPECT_EQ(platform_open_read(path.c_str(), &file), open_refused);
    EXPECT_EQ(platform_open_read((dir + "\\inf\\none.inf").c_str(), &file), open_missing);
    scripted::fail(scripted::call_rename, 1);
    EXPECT_FALSE(platform_rename(path.c_str(), (dir + "\\inf\\b.inf").c_str()));
    EXPECT_TRUE(scripted::file_exists(path));
    EXPECT_FALSE(scripted::file_exists(dir + "\\inf\\b.inf"));
}

TEST_F(ScriptedPlatform, ResetClosesWhatWasLeftOpen) {
    scripted::write_file(path, "x");
    platform_file reading, writing;
    ASSERT_EQ(platform_open_read(path.c_str(), &reading), open_ok);
    ASSERT_TRUE(platform_open_write((dir + "\\inf\\out.inf").c_str(), &writing, write_anew));
    scripted::fail(scripted::call_close, 1);
    EXPECT_FALSE(platform_close(writing));  // a failed close leaves it open
    EXPECT_EQ(scripted::open_files(), 2u);
    scripted::reset();
    EXPECT_EQ(scripted::open_files(), 0u);
    EXPECT_EQ(fcntl((int)reading, F_GETFD), -1);
    EXPECT_EQ(fcntl((int)writing, F_GETFD), -1);
    EXPECT_TRUE(scripted::file_calls().empty());
}

TEST_F(ScriptedPlatform, BoxesAreRecordedAndAnswered) {
    scripted::answer(answer_yes);
    EXPECT_EQ(platform_message_box("t1", "c1", icon_error, buttons_ok), answer_ok);
    EXPECT_EQ(platform_message_box("t2", "c2", icon_question, buttons_yes_no), answer_yes);
    EXPECT_EQ(platform_message_box("t3", "c3", icon_question, buttons_yes_no), answer_no);
    ASSERT_EQ(scripted::boxes().size(), 3u);
    EXPECT_EQ(scripted::boxes()[1].text, "t2");
    EXPECT_EQ(scripted::boxes()[1].caption, "c2");
    EXPECT_EQ(scripted::boxes()[1].icon, icon_question);
    EXPECT_EQ(scripted::boxes()[1].buttons, buttons_yes_no);
    EXPECT_EQ(scripted::pending_answers(), 0u);
}

TEST_F(ScriptedPlatform, WindowsDirectoryAsGetWindowsDirectoryA) {
    char buffer[8];
    EXPECT_EQ(platform_windows_dir(buffer, sizeof buffer), 0u);  // none set: failure
    scripted::set_windows_dir("C:\\WIN");
    EXPECT_EQ(platform_windows_dir(buffer, sizeof buffer), 6u);
    EXPECT_STREQ(buffer, "C:\\WIN");
    scripted::set_windows_dir("C:\\WINDOWS");  // 10 characters and the NUL
    EXPECT_EQ(platform_windows_dir(buffer, sizeof buffer), 11u);
}

TEST_F(ScriptedPlatform, ChecksStartCheckedAndFollowTheCore) {
    EXPECT_EQ(platform_get_check(scripted::dialog(), IDC_CHIPSETS), 1);
    EXPECT_EQ(platform_get_check(scripted::dialog(), IDC_USB), 1);
    platform_set_check(scripted::dialog(), IDC_USB, 0);
    EXPECT_EQ(scripted::check_state(IDC_USB), 0);
}

TEST_F(ScriptedPlatform, RegistryDeletesAsEachSystemDoes) {
    struct row {
        bool nt;
        bool deleted;
    };
    for (const row& r : {row{false, true}, row{true, false}}) {
        scripted::reset();
        scripted::set_nt_registry(r.nt);
        scripted::add_key("Enum\\PCI\\VEN_8086&DEV_7110\\0");
        platform_key pci;
        ASSERT_TRUE(platform_reg_open(platform_local_machine(), "enum\\pci", &pci));
        char name[64];
        ASSERT_TRUE(platform_reg_enum_key(pci, 0, name, sizeof name));
        EXPECT_STREQ(name, "VEN_8086&DEV_7110");
        EXPECT_FALSE(platform_reg_enum_key(pci, 1, name, sizeof name));
        EXPECT_EQ(platform_reg_delete_key(pci, "VEN_8086&DEV_7110"), r.deleted) << "NT " << r.nt;
        EXPECT_EQ(scripted::key_exists("Enum\\PCI\\VEN_8086&DEV_7110"), !r.deleted);
        EXPECT_EQ(scripted::key_exists("Enum\\PCI\\VEN_8086&DEV_7110\\0"), !r.deleted);
        EXPECT_TRUE(scripted::key_exists("Enum\\PCI"));
        EXPECT_EQ(scripted::open_registry_keys(), 1);
        platform_reg_close(pci);
        EXPECT_EQ(scripted::open_registry_keys(), 0);
    }
    platform_key key;
    EXPECT_FALSE(platform_reg_open(platform_local_machine(), "Enum\\ISA", &key));
    scripted::set_registry_unavailable(true);
    EXPECT_FALSE(platform_reg_open(platform_local_machine(), "Enum", &key));
}

}  // namespace
