// The scripted backend of the platform seam, for the unit tests.
//
// Files are real files (the POSIX backend does the work), but any file call
// can be made to fail.  Message boxes are recorded and answered from a
// script; the Windows directory and the check boxes are set by the test.
// Registry calls work on a small in-memory tree.
#ifndef TAMRIX_TESTS_SCRIPTED_PLATFORM_H
#define TAMRIX_TESTS_SCRIPTED_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "../platform/platform.h"
#include "../resources/dialog_ids.h"

namespace scripted {

// Back to a fresh process: no boxes, answers, failures or registry keys,
// a Windows 95 registry, no Windows directory, both check boxes checked; every file that
// the core left open is closed.  Also rearms nothing: the core's own state
// (files_changed, template groups) is the core's business.
void reset();

// ---- message boxes ---------------------------------------------------------
struct box {
    std::string text;
    std::string caption;
    box_icon icon;
    box_buttons buttons;
};
const std::vector<box>& boxes();
// Answers for the next Yes/No boxes, in order.  With none queued, a Yes/No
// box is answered No; an OK box is always answered OK.
void answer(box_answer next);
// Yes/No answers queued and not yet used.
size_t pending_answers();

// ---- failures ----------------------------------------------------------------
enum call {
    call_open_read,
    call_open_write,
    call_read,
    call_write,
    call_seek,
    call_flush,
    call_close,
    call_rename,
    call_delete,
    call_kinds
};
// The nth (1-based) call of this kind from now on fails.  A failed
// open_read reports open_refused; a failed call has no effect on disk.
void fail(call kind, int nth);
// The nth (1-based) file call of any kind from now on fails.
void fail_any(int nth);
// File calls made since reset, of every kind, in order, with the path (for
// opens, renames and deletes: "from -> to" for renames) or "" otherwise.
struct file_call {
    call kind;
    std::string path;
};
const std::vector<file_call>& file_calls();
// Files opened through the seam and not yet closed.
size_t open_files();

// ---- the system --------------------------------------------------------------
// RegDeleteKeyA refuses a key that has subkeys, as on Windows NT.
void set_nt_registry(bool nt);
// From now on platform_begin_run finds the INF folder held by another copy.
void hold_inf_folder_elsewhere();
// From now on the files rename over a name in one step, as a Linux
// folder's do (platform_renames_over); a swap then renames once.
void set_renames_over(bool one_step);
// Whether platform_copy copies from file to file (as on Linux, the default)
// or is not offered (as on Windows 95).
void set_copies(bool offered);
// Runs begun and ended through platform_begin_run and platform_end_run.
int runs_begun();
int runs_ended();
// Renames made between platform_swap_begins and platform_swap_ends, and
// outside them.
int renames_in_swap();
int renames_outside_swap();
void set_windows_dir(const std::string& dir);
void set_check(int control, int state);
int restarts_requested();
// From now on no restart can be offered (platform_can_restart).
void set_cannot_restart(bool cannot);
// The state of a check box, as the test or the core last set it (0 when
// never set).
int check_state(int control);

// ---- the dialog ----------------------------------------------------------------
// platform_run_dialog sends WM_INITDIALOG to the procedure it is given
// (main_dialog_proc), then each
// queued command as a WM_COMMAND, in order, until platform_end_dialog is
// called; it returns the result given to platform_end_dialog.  When the
// queue runs dry first, it returns -1 (as DialogBoxParamA does on failure)
// instead of waiting for a user who never comes.
void queue_command(uintptr_t command);
// The window handle that the dialog procedure gets.
platform_window dialog();
int dialogs_run();
bool dialog_ended();
intptr_t dialog_result();

// ---- registry ----------------------------------------------------------------
// Keys are full paths under HKEY_LOCAL_MACHINE, such as "Enum\\PCI\\X\\0".
// RegDeleteKeyA removes subkeys, as on Windows 95, unless set_nt_registry.  Names compare without regard to
// case, as the registry's do.  add_key adds the key's parents too.
void add_key(const std::string& path);
bool key_exists(const std::string& path);
void set_registry_unavailable(bool unavailable);
// Handles from platform_reg_open not yet closed.
int open_registry_keys();

// ---- helpers for tests -----------------------------------------------------------
// Paths may be written with backslashes, as the core builds them.
// A fresh, empty Windows directory with an inf folder under it, in a folder
// of the process's own under $TMPDIR (or /tmp) that is removed at exit; of
// exactly `length` characters when that is not 0.
std::string make_windows_dir(size_t length = 0);
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> list_dir(const std::string& dir);

}  // namespace scripted

#endif
