// Replacing one INF file: the names, the order of the file calls, stale and
// missing files, the exits and refusals, and a failure at every file call
// that one replacement makes.
#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../ops/file_swap.h"
#include "inf_fixtures.h"

using namespace fx;
using namespace std::string_literals;

namespace {

struct target_names {
    const char* file;
    const char* backup;
};
target_names names_of(inf_target target) {
    return target == chipset_file ? target_names{"machine.inf", "machine.in@"}
                                  : target_names{"usb.inf", "usb.in@"};
}

// ---- names and the order of the file calls -----------------------------------------

// Runs the rest of a test in a scratch folder, so that a relative Windows
// directory such as "C:\WINDOWS" lands there.
class scratch_cwd {
public:
    scratch_cwd() : old_(std::filesystem::current_path()) {
        char base[] = "/tmp/tamrix-c.XXXXXX";
        dir_ = mkdtemp(base);
        std::filesystem::current_path(dir_);
    }
    ~scratch_cwd() {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }

private:
    std::filesystem::path old_;
    std::string dir_;
};

// The file calls of a clean replacement under C:\WINDOWS, in order, with the
// paths the core builds; the one flush of out.inf comes after its open and
// before its close.
TEST(replace_names, paths_and_order_of_file_calls) {
    scratch_cwd cwd;
    const std::string inf = "C:/WINDOWS/inf";
    std::filesystem::create_directories(inf);
    for (inf_target target : {chipset_file, usb_file}) {
        const target_names n = names_of(target);
        SCOPED_TRACE(n.file);
        const bool chipset = target == chipset_file;
        scripted::reset();
        scripted::set_windows_dir("C:\\WINDOWS");
        ASSERT_TRUE(read_windows_dir());
        lay_out(inf, {{n.file, chipset ? kMachineOld : kUsbOld}});
        ASSERT_EQ(replace_inf_file(target, chipset ? merge_chipset_inf : merge_usb_inf, 1), replaced);

        const std::string file = inf + "/" + n.file, backup = inf + "/" + n.backup,
                          out = inf + "/out.inf";
        std::vector<std::string> seen;
        int flush_at = -1, flushes = 0;
        for (const auto& call : scripted::file_calls()) {
            switch (call.kind) {
            case scripted::call_open_read: seen.push_back("open read " + slashes(call.path)); break;
            case scripted::call_open_write: seen.push_back("open write " + slashes(call.path)); break;
            case scripted::call_close: seen.push_back("close"); break;
            case scripted::call_rename: seen.push_back("rename " + slashes(call.path)); break;
            case scripted::call_delete: seen.push_back("delete " + slashes(call.path)); break;
            case scripted::call_flush: flush_at = (int)seen.size(); ++flushes; break;
            default: break;
            }
        }
        const std::vector<std::string> want = {
            "open read " + file,
            "open write " + out,
            "close",  // the target
            "close",  // out.inf
            "delete " + backup,
            "rename " + file + " -> " + backup,
            "rename " + out + " -> " + file,
            "delete " + out,
            "delete " + backup,
        };
        EXPECT_EQ(seen, want);
        EXPECT_EQ(flushes, 1);
        EXPECT_TRUE(flush_at == 2 || flush_at == 3) << "flush after call " << flush_at;
        EXPECT_EQ(snapshot(inf), (folder{{n.file, chipset ? kMachineNew : kUsbNew}}));
    }
    EXPECT_STREQ(target_path(chipset_file), "C:\\WINDOWS\\inf\\machine.inf");
    EXPECT_STREQ(target_path(usb_file), "C:\\WINDOWS\\inf\\usb.inf");

    // The temporary file's full path, as the user is told it.
    scripted::fail(scripted::call_open_write, 1);
    EXPECT_EQ(replace_inf_file(usb_file, uninstall_inf, 1), cannot_create);
    expect_boxes({cant_create("out.inf")}, "C:\\WINDOWS\\inf");
    EXPECT_EQ(snapshot(inf), (folder{{"usb.inf", kUsbNew}}));
}

// ---- the swap's hooks and its repair, as SYSTEM.DAT uses them ------------------------

bool refuses(void*, const char*) { return false; }
bool accepts(void*, const char*) { return true; }
bool copies_old(void* context, const char* path) {
    scripted::write_file(path, static_cast<const char*>(context));
    return true;
}
bool accepts_new(void*, const char*, const char*) { return true; }

TEST(file_swap, hooks_failures_and_repair) {
    scratch_cwd cwd;
    std::filesystem::create_directories("d");
    const folder start = {{"t", "old"}, {"w", "new"}, {"b", "stale"}};
    struct row {
        const char* what;
        bool keep;
        swap_check ready;
        bool over;  // the place renames over a name in one step
        swap_check copy;
        int failed_rename;
        swap_outcome outcome;
        folder after;
    } rows[] = {
        {"two renames", false, nullptr, false, nullptr, 0, swap_done, {{"t", "new"}}},
        {"proved, backup kept", true, accepts, false, nullptr, 0, swap_done,
         {{"t", "new"}, {"b", "old"}}},
        {"not proved", true, refuses, false, nullptr, 0, swap_not_ready,
         {{"t", "old"}, {"b", "stale"}}},
        {"first rename fails", true, nullptr, false, nullptr, 1, swap_rename_failed,
         {{"t", "old"}, {"w", "new"}}},
        {"second rename fails", false, nullptr, false, nullptr, 2, swap_rename_failed,
         {{"t", "old"}, {"w", "new"}}},
        {"one rename over", true, accepts, true, copies_old, 0, swap_done,
         {{"t", "new"}, {"b", "old"}}},
        {"one rename over, no backup", false, accepts, true, nullptr, 0, swap_done,
         {{"t", "new"}}},
        {"backup copy fails", true, nullptr, true, refuses, 0, swap_backup_failed,
         {{"t", "old"}, {"w", "new"}}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        scripted::reset();
        scripted::set_renames_over(r.over);
        lay_out("d", start);
        if (r.failed_rename != 0) scripted::fail(scripted::call_rename, r.failed_rename);
        char old_text[] = "old";
        file_swap swap = {"d/t", "d/w", "d/b", r.keep, r.ready, r.copy, old_text};
        EXPECT_EQ(replace_by_rename(swap), r.outcome);
        EXPECT_EQ(snapshot("d"), r.after);
        EXPECT_EQ(scripted::renames_outside_swap(), 0);
    }
    scripted::reset();
    // Cut off between the renames: the written file where it is accepted.
    file_swap cut_off = {"d/t", "d/w", "d/b", true, nullptr, nullptr, nullptr};
    for (swap_accepts accepted : {accepts_new, (swap_accepts) nullptr}) {
        lay_out("d", {{"b", "old"}, {"w", "new"}});
        EXPECT_EQ(put_back_cut_off(cut_off, accepted), accepted ? put_back_new : put_back_old);
        const folder after = accepted ? folder{{"t", "new"}, {"b", "old"}}
                                      : folder{{"t", "old"}, {"w", "new"}};
        EXPECT_EQ(snapshot("d"), after);
        EXPECT_EQ(put_back_cut_off(cut_off, accepted), swap_not_cut_off);
    }
    // Cut off between the link and the unlink of a rename: the target is the
    // written file under two names.  The swap is finished, the text kept.
    for (bool keep : {true, false}) {
        lay_out("d", {{"b", "old"}, {"t", "new"}});
        std::filesystem::create_hard_link("d/t", "d/w");
        cut_off.keep_backup = keep;
        EXPECT_EQ(put_back_cut_off(cut_off, accepts_new), put_back_finished);
        const folder after = keep ? folder{{"t", "new"}, {"b", "old"}} : folder{{"t", "new"}};
        EXPECT_EQ(snapshot("d"), after);
    }
}

class replace_test : public inf_test {};

// ---- stale, missing and unreadable files ------------------------------------------

struct folder_case {
    const char* what;
    inf_target target;
    inf_edit edit;
    folder before;
    file_outcome outcome;
    std::vector<want_box> boxes;
    folder after;
};

const std::string kPartial = "[Version]\r\nSignat";

const folder_case kFolderCases[] = {
    {"clean: afterwards only the new target", chipset_file, merge_chipset_inf,
     {{"machine.inf", kMachineOld}}, replaced, {}, {{"machine.inf", kMachineNew}}},
    {"usb.inf stripped", usb_file, uninstall_inf,
     {{"usb.inf", kUsbNew}}, replaced, {}, {{"usb.inf", kUsbOld}}},
    {"a stale backup is deleted and does not block the swap", chipset_file, merge_chipset_inf,
     {{"machine.inf", kMachineOld}, {"machine.in@", "stale\r\n"}}, replaced, {},
     {{"machine.inf", kMachineNew}}},
    {"a stale out.inf, longer than the new text, is emptied and renamed", chipset_file,
     merge_chipset_inf, {{"machine.inf", kMachineOld}, {"out.inf", kMachineNew + kMachineNew}},
     replaced, {}, {{"machine.inf", kMachineNew}}},
    {"the other target's backup is left alone", usb_file, merge_usb_inf,
     {{"usb.inf", kUsbOld}, {"machine.in@", "other\r\n"}}, replaced, {},
     {{"usb.inf", kUsbNew}, {"machine.in@", "other\r\n"}}},
    {"a missing target leaves the folder as it was", chipset_file, merge_chipset_inf,
     {{"usb.inf", kUsbOld}, {"out.inf", "stale\r\n"}, {"usb.in@", "old\r\n"}}, target_missing,
     {}, {{"usb.inf", kUsbOld}, {"out.inf", "stale\r\n"}, {"usb.in@", "old\r\n"}}},
    {"a missing usb.inf in an empty folder", usb_file, merge_usb_inf, {}, target_missing, {}, {}},
    {"killed between the renames: the backup comes back first", chipset_file, merge_chipset_inf,
     {{"machine.in@", kMachineOld}, {"out.inf", kPartial}}, replaced, {},
     {{"machine.inf", kMachineNew}}},
    {"killed between the renames of usb.inf", usb_file, merge_usb_inf,
     {{"usb.in@", kUsbOld}, {"out.inf", kUsbNew}}, replaced, {}, {{"usb.inf", kUsbNew}}},
    {"killed after the second rename: the backup is deleted", chipset_file, uninstall_inf,
     {{"machine.inf", kMachineNew}, {"machine.in@", kMachineOld}}, replaced, {},
     {{"machine.inf", kMachineOld}}},
    {"a target that is a folder cannot be read", chipset_file, merge_chipset_inf,
     {{"machine.inf", kFolder}}, read_failed, {cant_read("machine.inf")},
     {{"machine.inf", kFolder}}},
    {"a usb.inf that is a folder is not taken for a missing one", usb_file, merge_usb_inf,
     {{"usb.inf", kFolder}}, read_failed, {cant_read("usb.inf")}, {{"usb.inf", kFolder}}},
    {"UTF-16 little-endian", chipset_file, merge_chipset_inf,
     {{"machine.inf", "\xFF\xFE[\0V\0]\0\r\0\n\0"s}}, read_failed, {not_text("machine.inf")},
     {{"machine.inf", "\xFF\xFE[\0V\0]\0\r\0\n\0"s}}},
    {"UTF-16 big-endian", usb_file, uninstall_inf,
     {{"usb.inf", "\xFE\xFF\0[\0V\0]\0\r\0\n"s}}, read_failed, {not_text("usb.inf")},
     {{"usb.inf", "\xFE\xFF\0[\0V\0]\0\r\0\n"s}}},
    {"FF FF is no byte-order mark", chipset_file, uninstall_inf,
     {{"machine.inf", "\xFF\xFF;x\r\n"}}, replaced, {}, {{"machine.inf", "\xFF\xFF;x\r\n"}}},
    {"a lone FE is no byte-order mark", chipset_file, uninstall_inf,
     {{"machine.inf", "\xFE"}}, replaced, {}, {{"machine.inf", "\xFE"}}},
};

TEST_F(replace_test, stale_missing_and_unreadable_files) {
    for (const folder_case& c : kFolderCases) {
        SCOPED_TRACE(c.what);
        fresh_process();
        lay_out(c.before);
        EXPECT_EQ(replace_inf_file(c.target, c.edit, 1), c.outcome);
        expect_boxes(c.boxes);
        EXPECT_EQ(snapshot(), c.after);
    }
}

// ---- out.inf cannot be created -----------------------------------------------------

TEST_F(replace_test, out_inf_not_creatable_ends_the_process) {
    struct {
        const char* what;
        inf_target target;
        bool injected;  // else out.inf is a folder
    } const cases[] = {
        {"machine.inf, injected", chipset_file, true},
        {"machine.inf, out.inf is a folder", chipset_file, false},
        {"usb.inf, injected", usb_file, true},
        {"usb.inf, out.inf is a folder", usb_file, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fresh_process();
        folder before{{names_of(c.target).file, c.target == chipset_file ? kMachineOld : kUsbOld}};
        if (c.injected)
            scripted::fail(scripted::call_open_write, 1);
        else
            before["out.inf"] = kFolder;
        lay_out(before);
        EXPECT_EQ(replace_inf_file(c.target, uninstall_inf, 1), cannot_create);
        expect_boxes({cant_create("out.inf")});
        EXPECT_EQ(snapshot(), before);
    }
}

// ---- paths that do not fit ------------------------------------------------------------
// Every path holds 259 characters at most, its NUL making 260.

TEST_F(replace_test, paths_that_do_not_fit_touch_nothing) {
    struct {
        size_t dir_length;
        inf_target target;
        file_outcome outcome;
    } const cases[] = {
        {243, chipset_file, replaced},       // machine.inf and machine.in@: 259
        {244, chipset_file, path_too_long},  // 260
        {247, usb_file, replaced},           // usb.inf, usb.in@: 259
        {248, usb_file, path_too_long},      // 260; out.inf too
        {248, chipset_file, path_too_long},
    };
    for (const auto& c : cases) {
        const target_names n = names_of(c.target);
        SCOPED_TRACE(std::to_string(c.dir_length) + " " + n.file);
        start(c.dir_length);
        ASSERT_EQ(dir_.size(), c.dir_length);
        const bool chipset = c.target == chipset_file;
        const folder before{{n.file, chipset ? kMachineOld : kUsbOld}};
        lay_out(before);
        EXPECT_EQ(replace_inf_file(c.target, chipset ? merge_chipset_inf : merge_usb_inf, 1),
                  c.outcome);
        if (c.outcome == replaced) {
            expect_boxes({});
            EXPECT_EQ(snapshot(), (folder{{n.file, chipset ? kMachineNew : kUsbNew}}));
        } else {
            expect_boxes({too_long(n.file)});
            EXPECT_TRUE(scripted::file_calls().empty());
            EXPECT_EQ(snapshot(), before);
        }
    }
}

TEST_F(replace_test, windows_dir_that_does_not_fit) {
    scripted::reset();
    const std::string fits(259, 'f');
    scripted::set_windows_dir(fits);
    EXPECT_TRUE(read_windows_dir());
    EXPECT_EQ(std::string(windows_dir), fits);
    EXPECT_TRUE(scripted::boxes().empty());

    scripted::reset();
    scripted::set_windows_dir(std::string(260, 'g'));
    EXPECT_FALSE(read_windows_dir());
    ASSERT_EQ(scripted::boxes().size(), 1u);
    EXPECT_EQ(scripted::boxes()[0].text.rfind("Path too long: ", 0), 0u) << scripted::boxes()[0].text;
    EXPECT_EQ(scripted::boxes()[0].caption, "File Open Error");
    EXPECT_EQ(scripted::boxes()[0].icon, icon_error);
    EXPECT_EQ(scripted::boxes()[0].buttons, buttons_ok);
    EXPECT_EQ(replace_inf_file(chipset_file, uninstall_inf, 1), path_too_long);
    EXPECT_TRUE(scripted::file_calls().empty());
}

// ---- a failure at every file call ------------------------------------------------------
// Whatever call fails, the target's name holds the complete old or the
// complete new text, and the folder holds nothing but what the failure
// leaves by design.

struct crash_case {
    const char* what;
    inf_target target;
    inf_edit edit;
    std::string old_text;
    std::string new_text;
};

std::string padding_lines(int count = 400) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "; line " + std::to_string(i) + " of a long comment that spreads the file out\r\n";
    return text;
}

const crash_case kCrashCases[] = {
    {"chipset merge", chipset_file, merge_chipset_inf, kMachineOld, kMachineNew},
    {"chipset strip", chipset_file, uninstall_inf, kMachineNew, kMachineOld},
    {"usb merge", usb_file, merge_usb_inf, kUsbOld, kUsbNew},
    {"chipset merge, long file", chipset_file, merge_chipset_inf, padding_lines() + kMachineOld,
     padding_lines() + kMachineNew},
    // Its padding, longer than the input buffer, is copied file to file.
    {"chipset merge, longer than the buffer", chipset_file, merge_chipset_inf,
     padding_lines(1200) + kMachineOld, padding_lines(1200) + kMachineNew},
};

// What a failure at a call does, by the call's kind and its rank among the
// calls of that kind in a clean replacement; none for a call that a clean
// replacement should not make.
enum class effect { read_fails, write_fails, cannot_create, none, first_rename, second_rename, backup_kept };

std::optional<effect> effect_of(scripted::call kind, int rank) {
    switch (kind) {
    case scripted::call_open_read:
        if (rank == 1) return effect::read_fails;
        return std::nullopt;
    case scripted::call_read:
    case scripted::call_seek: return effect::read_fails;
    case scripted::call_open_write:
        if (rank == 1) return effect::cannot_create;
        return std::nullopt;
    case scripted::call_write:
    case scripted::call_flush: return effect::write_fails;
    case scripted::call_close:  // the target's, then out.inf's
        if (rank <= 2) return rank == 1 ? effect::none : effect::write_fails;
        return std::nullopt;
    case scripted::call_rename:
        if (rank <= 2) return rank == 1 ? effect::first_rename : effect::second_rename;
        return std::nullopt;
    case scripted::call_delete:  // stale backup, out.inf, backup
        if (rank <= 3) return rank == 3 ? effect::backup_kept : effect::none;
        return std::nullopt;
    default: return std::nullopt;
    }
}

bool streams_call(scripted::call kind) {
    return kind == scripted::call_read || kind == scripted::call_write ||
           kind == scripted::call_seek;
}

TEST_F(replace_test, failure_at_every_file_call) {
    for (const crash_case& c : kCrashCases) {
        SCOPED_TRACE(c.what);
        const target_names n = names_of(c.target);
        const folder before{{n.file, c.old_text}};
        const folder replaced_folder{{n.file, c.new_text}};

        fresh_process();
        lay_out(before);
        ASSERT_EQ(replace_inf_file(c.target, c.edit, 1), replaced);
        ASSERT_EQ(snapshot(), replaced_folder);
        const std::vector<scripted::file_call> clean = scripted::file_calls();

        // Long files make many reads and writes: every call that names a
        // file, and some 300 of the others, spread evenly.
        size_t stream_calls = 0;
        for (const auto& call : clean) stream_calls += streams_call(call.kind);
        const size_t stride = stream_calls > 300 ? stream_calls / 300 : 1;

        int rank[scripted::call_kinds] = {};
        size_t stream_rank = 0;
        for (size_t i = 0; i < clean.size(); ++i) {
            const scripted::call kind = clean[i].kind;
            const std::optional<effect> e = effect_of(kind, ++rank[kind]);
            SCOPED_TRACE("failing call " + std::to_string(i + 1) + " of " +
                         std::to_string(clean.size()) + ": kind " + std::to_string(kind) + " #" +
                         std::to_string(rank[kind]) + " " + clean[i].path);
            if (!e) {
                ADD_FAILURE() << "a clean replacement makes no such call";
                continue;
            }
            if (streams_call(kind) && stream_rank++ % stride != 0) continue;

            fresh_process();
            lay_out(before);
            scripted::fail_any((int)i + 1);
            const file_outcome outcome = replace_inf_file(c.target, c.edit, 1);

            const folder now = snapshot();
            switch (*e) {
            case effect::read_fails:
                EXPECT_EQ(outcome, read_failed);
                expect_boxes({cant_read(n.file)});
                EXPECT_EQ(now, before);
                break;
            case effect::write_fails:
                EXPECT_EQ(outcome, write_failed);
                expect_boxes({cant_write("out.inf")});
                EXPECT_EQ(now, before);
                break;
            case effect::cannot_create:
                EXPECT_EQ(outcome, cannot_create);
                expect_boxes({cant_create("out.inf")});
                EXPECT_EQ(now, before);
                break;
            case effect::none:
                EXPECT_EQ(outcome, replaced);
                expect_boxes({});
                EXPECT_EQ(now, replaced_folder);
                break;
            case effect::first_rename:
                EXPECT_EQ(outcome, rename_failed);
                expect_boxes({});
                EXPECT_EQ(now, (folder{{n.file, c.old_text}, {"out.inf", c.new_text}}));
                break;
            case effect::second_rename: {
                // The backup is renamed back; out.inf may keep the new text.
                EXPECT_EQ(outcome, rename_failed);
                expect_boxes({});
                const folder with_out{{n.file, c.old_text}, {"out.inf", c.new_text}};
                EXPECT_TRUE(now == before || now == with_out) << testing::PrintToString(now);
                break;
            }
            case effect::backup_kept:
                EXPECT_EQ(outcome, replaced);
                expect_boxes({});
                EXPECT_EQ(now, (folder{{n.file, c.new_text}, {n.backup, c.old_text}}));
                break;
            }
        }
    }
}

}  // namespace
