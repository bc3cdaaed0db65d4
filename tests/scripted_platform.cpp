// The scripted backend: see scripted_platform.h.
//
// The file functions wrap the Linux folder's, as a test file system wraps
// the real one: each entry of the table installed here records the call,
// fails it when the test asked for that, and otherwise hands it to the
// folder's table (platform/file_backend.h).
#include "scripted_platform.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "../platform/posix/posix_files.h"
#include "../ui/ui.h"

namespace fs = std::filesystem;

namespace {

std::string lower(const std::string& text) {
    std::string result = text;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return result;
}

std::string posix_path(const std::string& path) {
    std::string result = path;
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

const platform_key kLocalMachine = 0x80000002;  // HKEY_LOCAL_MACHINE

struct state {
    // message boxes
    std::vector<scripted::box> boxes;
    std::deque<box_answer> answers;
    // files
    std::vector<scripted::file_call> calls;
    int calls_of_kind[scripted::call_kinds] = {};
    int calls_total = 0;
    std::multiset<int> failing[scripted::call_kinds];  // call numbers, per kind
    std::multiset<int> failing_any;                     // call numbers, all kinds
    std::multiset<platform_file> open;
    // the system
    bool nt_registry = false;
    bool inf_folder_held = false;  // another copy of the program holds it
    int runs_begun = 0, runs_ended = 0;
    bool in_swap = false;
    bool renames_over = false;  // the files rename over a name in one step
    bool copies = true;         // the system copies from file to file, as Linux does
    int renames_in_swap = 0, renames_outside_swap = 0;
    bool has_windows_dir = false;
    std::string windows_dir;
    std::map<int, int> checks;
    int restarts = 0;
    bool cannot_restart = false;  // as the Linux program, which patches Windows offline
    // the dialog
    std::deque<uintptr_t> commands;
    int dialogs = 0;
    bool ended = false;
    intptr_t result = 0;
    // registry: lower-case full path -> path as added
    std::map<std::string, std::string> keys;
    std::map<platform_key, std::string> key_handles;  // handle -> lower-case path
    platform_key next_key = 1;
    bool registry_unavailable = false;
};

// Everything the script holds, made on first use.
state& scripted_state() {
    static state s;
    return s;
}

int dialog_anchor;  // its address is the dialog's window handle

// Counts the call and says whether the script fails it.
bool scripted_failure(scripted::call kind, const std::string& path) {
    state& s = scripted_state();
    s.calls.push_back({kind, path});
    int nth = ++s.calls_of_kind[kind];
    int total = ++s.calls_total;
    bool fails = false;
    auto hit = s.failing[kind].find(nth);
    if (hit != s.failing[kind].end()) {
        s.failing[kind].erase(hit);
        fails = true;
    }
    auto any = s.failing_any.find(total);
    if (any != s.failing_any.end()) {
        s.failing_any.erase(any);
        fails = true;
    }
    return fails;
}

void forget_file(platform_file file) {
    auto it = scripted_state().open.find(file);
    if (it != scripted_state().open.end()) scripted_state().open.erase(it);
}

std::string join_key(const std::string& parent, const char* subkey) {
    if (subkey == nullptr || subkey[0] == '\0') return parent;
    return parent.empty() ? std::string(subkey) : parent + "\\" + subkey;
}

bool key_path(platform_key key, std::string* path) {
    if (key == kLocalMachine) {
        *path = "";
        return true;
    }
    auto it = scripted_state().key_handles.find(key);
    if (it == scripted_state().key_handles.end()) return false;
    *path = it->second;
    return true;
}

bool key_present(const std::string& lower_path) {
    return lower_path.empty() || scripted_state().keys.count(lower_path) > 0;
}

// The keys strictly under `lower_path`, as lower-case paths.
std::vector<std::string> keys_under(const std::string& lower_path) {
    std::vector<std::string> result;
    std::string prefix = lower_path.empty() ? "" : lower_path + "\\";
    for (auto it = scripted_state().keys.lower_bound(prefix); it != scripted_state().keys.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        result.push_back(it->first);
    }
    return result;
}

std::string temp_root;  // the folder of make_windows_dir, removed at exit

void remove_temp_root() {
    if (temp_root.empty()) return;
    std::error_code ignored;
    fs::remove_all(temp_root, ignored);
}

}  // namespace

// ---- the file functions, around the Linux folder's --------------------------------

namespace {

const file_backend& parent = folder_file_backend;

open_status scripted_open_read(const char* path, platform_file* file) {
    if (scripted_failure(scripted::call_open_read, path)) return open_refused;
    open_status status = parent.open_read(path, file);
    if (status == open_ok) scripted_state().open.insert(*file);
    return status;
}

bool scripted_open_write(const char* path, platform_file* file, write_mode mode) {
    if (scripted_failure(scripted::call_open_write, path)) return false;
    bool opened = parent.open_write(path, file, mode);
    if (opened) scripted_state().open.insert(*file);
    return opened;
}

int32_t scripted_read(platform_file file, char* buffer, uint32_t size) {
    if (scripted_failure(scripted::call_read, "")) return -1;
    return parent.read(file, buffer, size);
}

bool scripted_write(platform_file file, const char* data, uint32_t size) {
    if (scripted_failure(scripted::call_write, "")) return false;
    return parent.write(file, data, size);
}

// A copy from file to file is a write of `to`, and fails as one.
copy_status scripted_copy(platform_file from, uint32_t offset, platform_file to, uint32_t size) {
    if (!scripted_state().copies) return copy_not_offered;
    if (scripted_failure(scripted::call_write, "")) return copy_failed;
    return parent.copy(from, offset, to, size);
}

bool scripted_seek(platform_file file, uint32_t offset) {
    if (scripted_failure(scripted::call_seek, "")) return false;
    return parent.seek(file, offset);
}

bool scripted_flush(platform_file file) {
    if (scripted_failure(scripted::call_flush, "")) return false;
    return parent.flush(file);
}

// A failed close leaves the file open; reset() closes it.
bool scripted_close(platform_file file) {
    if (scripted_failure(scripted::call_close, "")) return false;
    forget_file(file);
    return parent.close(file);
}

bool scripted_rename(const char* from, const char* to) {
    state& s = scripted_state();
    (s.in_swap ? s.renames_in_swap : s.renames_outside_swap)++;
    if (scripted_failure(scripted::call_rename, std::string(from) + " -> " + to)) return false;
    return parent.rename(from, to);
}

bool scripted_delete(const char* path) {
    if (scripted_failure(scripted::call_delete, path)) return false;
    return parent.remove(path);
}

bool scripted_real_path(const char* path, char* real, uint32_t size) {
    return parent.real_path(path, real, size);
}

// Paths are shown as the core built them, backslashes and all.
void scripted_shown_path(const char* path, char* shown, uint32_t size) {
    snprintf(shown, size, "%s", path);
}

// Like Windows 95, the scripted files rename twice, so that the calls of a
// swap are the Windows program's, unless a test asks for the one rename.
bool scripted_renames_over(const char*) { return scripted_state().renames_over; }
bool scripted_rename_over(const char* from, const char* to) {
    state& s = scripted_state();
    (s.in_swap ? s.renames_in_swap : s.renames_outside_swap)++;
    if (scripted_failure(scripted::call_rename, std::string(from) + " => " + to)) return false;
    return s.renames_over && parent.rename_over(from, to);
}

const file_backend scripted_files = {
    scripted_open_read,     scripted_open_write,   scripted_read,
    scripted_write,         scripted_copy,         scripted_seek,
    scripted_flush,         scripted_close,        scripted_rename,
    scripted_delete,        scripted_real_path,    scripted_shown_path,
    scripted_renames_over,  scripted_rename_over,  parent.same_file,
    parent.get_attributes,  parent.set_attributes, parent.copy_attributes,
    parent.keep,
};

// The core's file calls come here from the start.
struct scripted_files_installer {
    scripted_files_installer() { platform_files = &scripted_files; }
} install_scripted_files;

}  // namespace

bool platform_begin_run(const char*) {
    if (scripted_state().inf_folder_held) return false;
    scripted_state().runs_begun++;
    return true;
}
void platform_end_run() { scripted_state().runs_ended++; }
void platform_swap_begins() { scripted_state().in_swap = true; }
void platform_swap_ends() { scripted_state().in_swap = false; }

// ---- messages and the system ---------------------------------------------------------

box_answer platform_message_box(const char* text, const char* caption, box_icon icon,
                                box_buttons buttons) {
    state& s = scripted_state();
    s.boxes.push_back({text, caption, icon, buttons});
    if (buttons != buttons_yes_no) return answer_ok;
    if (s.answers.empty()) return answer_no;
    box_answer next = s.answers.front();
    s.answers.pop_front();
    return next;
}

uint32_t platform_windows_dir(char* buffer, uint32_t size) {
    const state& s = scripted_state();
    if (!s.has_windows_dir) return 0;
    uint32_t length = (uint32_t)s.windows_dir.size();
    if (length + 1 > size) return length + 1;
    memcpy(buffer, s.windows_dir.c_str(), length + 1);
    return length;
}

// ---- the dialog ----------------------------------------------------------------------

intptr_t platform_run_dialog(int, platform_dialog_procedure procedure) {
    state& s = scripted_state();
    s.dialogs++;
    s.ended = false;
    s.result = 0;
    platform_window window = scripted::dialog();
    procedure(window, kWmInitDialog, 0, 0);
    while (!s.ended && !s.commands.empty()) {
        uintptr_t command = s.commands.front();
        s.commands.pop_front();
        procedure(window, kWmCommand, command, 0);
    }
    return s.ended ? s.result : -1;
}

void platform_end_dialog(platform_window, intptr_t result) {
    scripted_state().ended = true;
    scripted_state().result = result;
}

int platform_get_check(platform_window, int control) {
    auto it = scripted_state().checks.find(control);
    return it == scripted_state().checks.end() ? 0 : it->second;
}

void platform_set_check(platform_window, int control, int state) {
    scripted_state().checks[control] = state;
}

// ---- registry and restart --------------------------------------------------------------

platform_key platform_local_machine() { return kLocalMachine; }

bool platform_reg_open(platform_key parent, const char* subkey, platform_key* key) {
    state& s = scripted_state();
    std::string parent_path;
    if (s.registry_unavailable || !key_path(parent, &parent_path)) return false;
    std::string path = lower(join_key(parent_path, subkey));
    if (!key_present(path)) return false;
    *key = s.next_key++;
    s.key_handles[*key] = path;
    return true;
}

bool platform_reg_enum_key(platform_key key, uint32_t index, char* name, uint32_t size) {
    std::string path;
    if (scripted_state().registry_unavailable || !key_path(key, &path) || !key_present(path)) return false;
    std::vector<std::string> children;
    for (const std::string& below : keys_under(path)) {
        std::string rest = below.substr(path.empty() ? 0 : path.size() + 1);
        if (rest.find('\\') == std::string::npos) children.push_back(below);
    }
    if (index >= children.size()) return false;
    const std::string& original = scripted_state().keys[children[index]];
    std::string child = original.substr(original.rfind('\\') + 1);
    if (child.size() + 1 > size) return false;
    memcpy(name, child.c_str(), child.size() + 1);
    return true;
}

bool platform_reg_delete_key(platform_key key, const char* subkey) {
    state& s = scripted_state();
    std::string parent_path;
    if (s.registry_unavailable || subkey == nullptr || subkey[0] == '\0' ||
        !key_path(key, &parent_path))
        return false;
    std::string path = lower(join_key(parent_path, subkey));
    if (s.keys.count(path) == 0) return false;
    std::vector<std::string> below = keys_under(path);
    if (!below.empty() && s.nt_registry) return false;  // NT deletes only leaf keys
    for (const std::string& child : below) s.keys.erase(child);
    s.keys.erase(path);
    return true;
}

void platform_reg_close(platform_key key) { scripted_state().key_handles.erase(key); }

bool platform_can_restart() { return !scripted_state().cannot_restart; }
void platform_restart() { scripted_state().restarts++; }

// ---- the script ----------------------------------------------------------------------------

namespace scripted {

void reset() {
    state& s = scripted_state();
    for (platform_file file : s.open) folder_file_backend.close(file);
    s = state();
    s.checks[IDC_CHIPSETS] = 1;
    s.checks[IDC_USB] = 1;
}

const std::vector<box>& boxes() { return scripted_state().boxes; }
void answer(box_answer next) { scripted_state().answers.push_back(next); }
size_t pending_answers() { return scripted_state().answers.size(); }

void fail(call kind, int nth) { scripted_state().failing[kind].insert(scripted_state().calls_of_kind[kind] + nth); }
void fail_any(int nth) { scripted_state().failing_any.insert(scripted_state().calls_total + nth); }
const std::vector<file_call>& file_calls() { return scripted_state().calls; }
size_t open_files() { return scripted_state().open.size(); }

void set_nt_registry(bool nt) { scripted_state().nt_registry = nt; }
void hold_inf_folder_elsewhere() { scripted_state().inf_folder_held = true; }
void set_renames_over(bool one_step) { scripted_state().renames_over = one_step; }
void set_copies(bool offered) { scripted_state().copies = offered; }
int runs_begun() { return scripted_state().runs_begun; }
int runs_ended() { return scripted_state().runs_ended; }
int renames_in_swap() { return scripted_state().renames_in_swap; }
int renames_outside_swap() { return scripted_state().renames_outside_swap; }
void set_windows_dir(const std::string& dir) {
    scripted_state().has_windows_dir = true;
    scripted_state().windows_dir = dir;
}
void set_check(int control, int state) { scripted_state().checks[control] = state; }
int check_state(int control) { return platform_get_check(dialog(), control); }
int restarts_requested() { return scripted_state().restarts; }
void set_cannot_restart(bool cannot) { scripted_state().cannot_restart = cannot; }

void queue_command(uintptr_t command) { scripted_state().commands.push_back(command); }
platform_window dialog() { return &dialog_anchor; }
int dialogs_run() { return scripted_state().dialogs; }
bool dialog_ended() { return scripted_state().ended; }
intptr_t dialog_result() { return scripted_state().result; }

void add_key(const std::string& path) {
    size_t end = 0;
    do {
        end = path.find('\\', end + 1);
        std::string head = path.substr(0, end);
        scripted_state().keys.emplace(lower(head), head);
    } while (end != std::string::npos);
}
bool key_exists(const std::string& path) { return scripted_state().keys.count(lower(path)) > 0; }
void set_registry_unavailable(bool unavailable) { scripted_state().registry_unavailable = unavailable; }
int open_registry_keys() { return (int)scripted_state().key_handles.size(); }

std::string make_windows_dir(size_t length) {
    static int made = 0;
    if (temp_root.empty()) {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") +
                              "/tamrix-tests.XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp " + pattern);
        temp_root = name.data();
        atexit(remove_temp_root);
    }
    std::string dir = temp_root + "/windows" + std::to_string(++made);
    if (length > 0) {
        if (length < dir.size() + 2) throw std::runtime_error("no Windows directory that short");
        dir += "/" + std::string(length - dir.size() - 1, 'w');
    }
    fs::create_directories(dir + "/inf");
    return dir;
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(posix_path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
    std::ifstream in(posix_path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool file_exists(const std::string& path) { return fs::exists(posix_path(path)); }

std::vector<std::string> list_dir(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(posix_path(dir)))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace scripted
