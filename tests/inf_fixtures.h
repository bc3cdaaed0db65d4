// What the INF tests share: the texts of tests/fixtures (fixture_text.h),
// an inf folder as name -> bytes, the message boxes expected, and one test
// base that gives every test a fresh process over a fresh Windows folder.
#ifndef TAMRIX_TESTS_INF_FIXTURES_H
#define TAMRIX_TESTS_INF_FIXTURES_H

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "../engine/inf_engine.h"
#include "../inf/inf_templates.h"
#include "../ops/inf_replace.h"
#include "../ops/inf_runs.h"
#include "fixture_text.h"
#include "scripted_platform.h"

namespace fx {

using namespace std::string_literals;

// ---- whole files, as on disk --------------------------------------------------------
// machine.inf and usb.inf before Install, after it on platform kinds 1 and
// 2, and the usb.inf that Install writes where there is none.  Uninstall
// gives the inputs back.
inline const std::string kMachineOld = fixture("machine.inf");
inline const std::string kMachineNew = fixture("machine-kind1.inf");
inline const std::string kMachineNewKind2 = fixture("machine-kind2.inf");
inline const std::string kUsbOld = fixture("usb.inf");
inline const std::string kUsbNew = fixture("usb-installed.inf");
inline const std::string kUsbCreated = fixture("usb-new.inf");

// `text` filled with `fill` up to `length` characters, the final LF included.
inline std::string padded(const std::string& text, size_t length, char fill) {
    return text + std::string(length - 1 - text.size(), fill) + "\n";
}
inline std::string blanks(size_t n) { return std::string(n, ' '); }
inline std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return text;
}

inline std::string replace_all(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}
// A path as the file layer sees it: backslashes are separators.
inline std::string slashes(const std::string& path) { return replace_all(path, "\\", "/"); }

// Whole texts compared byte for byte; a failure shows both and where they part.
inline ::testing::AssertionResult same_bytes(const std::string& expected, const std::string& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    return ::testing::AssertionFailure()
           << "texts differ at byte " << at << "\n--- expected:\n" << escaped(expected, true)
           << "\n--- actual:\n" << escaped(actual, true);
}
#define EXPECT_BYTES(expected, actual) EXPECT_TRUE(::fx::same_bytes((expected), (actual)))

// The edit that replace_inf_file runs when a test supplies its own steps.
inline std::function<void()>& script() {
    static std::function<void()> steps;
    return steps;
}
inline void scripted_edit(int) { script()(); }

// ---- folders ------------------------------------------------------------------------
// An inf folder as name -> bytes; kFolder stands for a subfolder.
using folder = std::map<std::string, std::string>;
inline const std::string kFolder = "<folder>";

inline void lay_out(const std::string& inf_dir, const folder& content) {
    namespace fs = std::filesystem;
    for (const auto& entry : fs::directory_iterator(inf_dir)) fs::remove_all(entry.path());
    for (const auto& [name, bytes] : content) {
        if (bytes == kFolder)
            fs::create_directory(inf_dir + "/" + name);
        else
            scripted::write_file(inf_dir + "/" + name, bytes);
    }
}

inline folder snapshot(const std::string& inf_dir) {
    folder result;
    for (const auto& entry : std::filesystem::directory_iterator(inf_dir)) {
        std::string path = entry.path().string();
        result[entry.path().filename().string()] =
            entry.is_directory() ? kFolder : scripted::read_file(path);
    }
    return result;
}

// ---- message boxes ------------------------------------------------------------------
struct want_box {
    std::string text;  // "{inf}" stands for the inf folder, as the core names it
    std::string caption;
    box_icon icon;
    box_buttons buttons = buttons_ok;
};

inline const want_box kChooseBox{" Please choice drivers!", "Do what?", icon_question};
inline const want_box kInstalledBox{" The utility has updated completely!", "OK", icon_none};
inline const want_box kUninstalledBox{"The utility has uninstalled completely!", "OK", icon_none};
inline const want_box kInstallRenameBox{"Install Failure", "rename error", icon_none};
inline const want_box kUninstallRenameBox{"Uninstall failure", "Rename Error", icon_none};
inline const want_box kCreateUsbBox{"Can't create usb.inf", "File Open Error", icon_error};
inline want_box file_box(const char* text, const std::string& name, const char* caption) {
    return {text + ("{inf}\\" + name), caption, icon_error};
}
inline want_box cant_find(const std::string& name) { return file_box("Can't find ", name, "File Open Error"); }
inline want_box cant_create(const std::string& name) { return file_box("Can't create ", name, "File Open Error"); }
inline want_box cant_write(const std::string& name) { return file_box("Can't write ", name, "File Write Error"); }
inline want_box cant_read(const std::string& name) { return file_box("Can't read ", name, "File Read Error"); }
inline want_box not_text(const std::string& name) { return file_box("Not a text file: ", name, "File Read Error"); }
inline want_box too_long(const std::string& name) { return file_box("Path too long: ", name, "File Open Error"); }

inline std::string describe(const std::string& text, const std::string& caption, box_icon icon,
                            box_buttons buttons) {
    static const char* const icons[] = {"no icon", "error icon", "question icon", "information icon"};
    return "\"" + text + "\" / \"" + caption + "\" / " + icons[icon] + " / " +
           (buttons == buttons_ok ? "OK" : "Yes No");
}

// The boxes shown since box number `from`, against the expected ones, with
// "{inf}" standing for `inf` (the inf folder as the core built its name).
inline void expect_boxes(const std::vector<want_box>& want, const std::string& inf, size_t from = 0) {
    std::vector<std::string> wanted, shown;
    for (const want_box& b : want)
        wanted.push_back(describe(replace_all(b.text, "{inf}", inf), b.caption, b.icon, b.buttons));
    const auto& boxes = scripted::boxes();
    for (size_t i = from; i < boxes.size(); ++i)
        shown.push_back(describe(boxes[i].text, boxes[i].caption, boxes[i].icon, boxes[i].buttons));
    EXPECT_EQ(shown, wanted);
}

// The exit status a run asks the program to end with, if any.
inline std::optional<int> exit_status(const run_outcome& run) {
    return run.ends_process ? std::optional<int>(1) : std::nullopt;
}

// ---- the test base ------------------------------------------------------------------
// A fresh process over a fresh Windows directory.
class inf_test : public ::testing::Test {
protected:
    void SetUp() override { start(0); }
    void TearDown() override { scripted::reset(); }
    // A fresh Windows directory of exactly `dir_length` characters (0: any).
    void start(size_t dir_length) {
        dir_ = scripted::make_windows_dir(dir_length);
        fresh_process();
    }
    // A fresh process over the same Windows directory.
    void fresh_process() {
        scripted::reset();
        files_changed = false;
        scripted::set_windows_dir(dir_);
        ASSERT_TRUE(read_windows_dir());
    }

    std::string inf_dir() const { return dir_ + "/inf"; }
    // The inf folder as the core names it: the Windows directory, "\inf".
    std::string inf_name() const { return dir_ + "\\inf"; }
    void lay_out(const folder& content) const { fx::lay_out(inf_dir(), content); }
    folder snapshot() const { return fx::snapshot(inf_dir()); }
    void expect_boxes(const std::vector<want_box>& want, size_t from = 0) const {
        fx::expect_boxes(want, inf_name(), from);
    }

    std::string path(inf_target target) const {
        return inf_dir() + (target == chipset_file ? "/machine.inf" : "/usb.inf");
    }
    void put(inf_target target, const std::string& bytes) { scripted::write_file(path(target), bytes); }
    std::string get(inf_target target) const { return scripted::read_file(path(target)); }
    // One replacement of the target with `edit`; returns the target's bytes.
    std::string run(inf_target target, inf_edit edit, int windows_kind = 1) {
        EXPECT_EQ(replace_inf_file(target, edit, windows_kind), replaced);
        return get(target);
    }
    std::string run(inf_target target, const std::string& input, inf_edit edit) {
        put(target, input);
        return run(target, edit);
    }

    std::string dir_;
};

}  // namespace fx

#endif
