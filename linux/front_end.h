// What the pieces of the Linux program share: the command line of this run,
// how the run presents itself (the dialog in a terminal, or one command on
// plain lines), and the end of the process.  The program provides the
// seam's message boxes, dialog and Windows directory itself (front_end.cpp,
// terminal_dialog.cpp); its files, locks and interruptions come from
// platform/posix/ and disk/.
#ifndef TAMRIX_LINUX_FRONT_END_H
#define TAMRIX_LINUX_FRONT_END_H

#include <stdio.h>

#include <string>

#include "../disk/image_files.h"
#include "../ops/inf_runs.h"
#include "../platform/platform.h"
#include "command_line.h"
#include "exit_status.h"
#include "voice.h"

// The command line of this run; main() fills it first.
extern command_line invocation;

// Gives the terminal back and ends QEMU's export of the image, then ends
// the process: the one way out.  A run whose changes QEMU may not have
// written ends with exit_unchanged.
[[noreturn]] void front_end_exit(int status);
// Ends the program as that signal would, from wherever it is (Ctrl-C read
// as a key, a terminal that has gone away): no file left unfinished.
[[noreturn]] void end_as_interrupted(int signal_number);

// ---- the disk image (open_image.cpp) ------------------------------------------
// Opens `image` for the runs: a file (anything else is refused at once); an
// emulator's format exported through QEMU as a raw disk (read-only unless
// `for_changes`; the export ends in front_end_exit), whose partition and
// FAT volume lie inside it; its FAT volume (partition `partition`, or the
// first FAT one when 0) handed to the image backend; and, when the run may
// change it (`for_changes`), checked writable by this user, on a host file
// system with room for a run (else status 3).  `windows_dir` is the folder
// named on the command line (\WINDOWS, C:\WINDOWS or /WINDOWS), or empty
// to find the one in the volume's root; it becomes a path of the image
// backend ("C:\WINDOWS").  Returns exit_done when the run can go on; else
// the user has been told why not, nothing was changed, and the program
// ends with the status returned.
int open_image(const std::string& image, int partition, bool for_changes,
               std::string* windows_dir);
// Takes the lock of the opened image for the rest of the process
// (image_lock): exit_done, or, told to the user, exit_held_elsewhere.
int hold_image();
// A real disk is changed only once the user has seen what it is (its
// model and size) and its Windows folder `windows_dir`, and said so
// (--yes says it): a wrong device name would change another disk.
// exit_done (also for an image file), or exit_declined.
int confirm_device(const std::string& device, const std::string& windows_dir);
// Why a run may not start on `shown`, a folder or an image that `lock` says
// another Tamrix or another program holds.
std::string held_text(image_lock_result lock, const std::string& shown);

// ---- the kind of Windows (registry_kind.cpp) ----------------------------------------
// The kind of Windows being patched, from what the registry of the Windows
// folder records (offline_registry_read: 0 where it records none, or is
// refused).  A command prints a line saying what was found; the dialog
// shows it where it found no kind, before the start-up warning.  A folder
// of this system without SYSTEM.DAT gives 0, saying nothing.
int registry_windows_kind();

// ---- the offline registry (registry_exit.cpp) ------------------------------------
// Exit's last step: the device keys that the core deleted, written as one
// change of the Windows folder's SYSTEM.DAT (or, where that fails, the
// devices to remove in Device Manager); nothing when the core deleted none.
void write_offline_registry();
// For status: how many of the ten device keys SYSTEM.DAT holds, as a line;
// none when the Windows folder has no SYSTEM.DAT.  False when it reported
// SYSTEM.DAT missing, its old text left in a backup by a cut-off swap.
bool show_registry_status();

// ---- a swap cut off by a crash (put_back.cpp) ------------------------------------
// Before a run reads anything of the Windows folder: where a swap of
// SYSTEM.DAT or an INF file was cut off between its renames, the file gets
// its name back (file_swap.h), under the lock of a run, and one line says
// what was put back, or that it could not be.  Where the run may not
// change the files (`status` reads QEMU's export of an image read-only),
// nothing is tried: one line says that the next Install or Uninstall puts
// them back, and `status` reports them missing.
void put_back_cut_off_swaps(bool may_change);
// Where the INF file `target`, or SYSTEM.DAT, is still missing with the
// old file in its backup (it could not be put back), the backup's name;
// else "".  Status then counts nothing in it.
std::string inf_left_in_backup(inf_target target);
std::string registry_left_in_backup();

// ---- the terminal (terminal_dialog.cpp) -------------------------------------
box_answer terminal_message_box(const char* text, const char* caption, box_icon icon,
                                box_buttons buttons);
// Gives the terminal back before the process ends, then prints the boxes
// that the last command showed, since the screen that held them is gone.
// Does nothing when the terminal was never taken.
void terminal_close();

// ---- one command (commands.cpp, dry_run.cpp, message_lines.cpp) --------------
// Runs the command of the command line without the dialog: install or
// uninstall (the start-up check, the run, then Exit's closing steps; or the
// changes they would make), or status.  Returns the exit status.
int run_command();
// The exit status a run of the command line ends with.
int exit_status_of(const run_outcome& run);
// A target's path as it is under the Windows folder: "INF/machine.inf".
std::string shown_in_windows_dir(inf_target target);
// "--dry-run": what Install or Uninstall would write, as a unified diff.
int show_dry_run(selection chosen, bool install);
// Where lines for people go: standard output, or standard error where
// standard output carries the dry run's diff, which must stay a pure diff
// for patch and git apply.
FILE* lines_for_people();
box_answer message_as_line(const char* text, const char* caption, box_icon icon,
                           box_buttons buttons);
// Prints a box as one line, "Caption: text", to standard error for errors
// and to standard output otherwise; `answer` follows a Yes/No question.
void print_box_line(const char* text, const char* caption, box_icon icon, const char* answer);

#endif
