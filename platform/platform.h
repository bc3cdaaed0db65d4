// The seam between Tamrix and the operating system.
//
// Every call the core makes to the system goes through the functions
// declared here and nothing else.  Each program provides all of them, from
// its backends and its front end:
//   platform/win32/   the Windows program (front end windows/), on the Win32
//                     API of Windows 95 and later;
//   platform/posix/   the Linux program (front end linux/), every function
//                     defined there: the files of a Linux folder, the
//                     registry calls on the Windows folder's SYSTEM.DAT
//                     (over registry/).  Where the answer is the front
//                     end's, the call goes to a table that the front end
//                     installs: the files of a run, a folder's or a disk
//                     image's (disk/), through file_backend.h; the message
//                     boxes, the dialog, the Windows directory and the
//                     lock of a run through posix/front_end_calls.h, as
//                     the front end knows whether a terminal dialog or a
//                     command is running;
//   tests/            a scripted backend for the unit tests.
// A backend only translates; decisions belong to the core, so that both
// programs behave alike.  Nothing under platform/ includes the core or a
// front end.  The functions have C linkage, so that a backend (or a test's
// wrapper around one) is linked by their plain names; on Linux the file
// functions go through a table that can be wrapped (file_backend.h).
//
// The file layer mirrors what the program needs from CreateFileA, ReadFile,
// WriteFile, SetFilePointer, FlushFileBuffers, CloseHandle, MoveFileA and
// DeleteFileA: binary byte access only.  Text mode (CR LF, Ctrl-Z) is done
// by the line engine, not here.
#ifndef TAMRIX_PLATFORM_PLATFORM_H
#define TAMRIX_PLATFORM_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

extern "C" {

// ---- files -----------------------------------------------------------------

typedef intptr_t platform_file;  // a backend's open file; kNoFile when none
const platform_file kNoFile = -1;

enum open_status {
    open_ok,       // the file is open
    open_missing,  // no file of that name exists
    open_refused,  // it exists but cannot be opened (locked, denied, a folder)
};

// Opens an existing file for reading from its start.
open_status platform_open_read(const char* path, platform_file* file);

// What platform_open_write does with a file already under the name.  What
// is written never reaches a file through a name this run did not create:
// on Linux another name of the same file (a hard link) would carry it.
enum write_mode {
    write_anew,      // it is removed first (on Windows 95, whose FAT gives a
                     // file one name only, emptying it comes to the same)
    write_new_only,  // the open fails and the file stays as it is
};
// Creates a file for writing.
bool platform_open_write(const char* path, platform_file* file, write_mode mode);
// Reads up to `size` bytes.  Returns the count read, 0 at the end of the
// file, or -1 on a read error.
int32_t platform_read(platform_file file, char* buffer, uint32_t size);
// Writes all `size` bytes or reports failure.
bool platform_write(platform_file file, const char* data, uint32_t size);
// Writes `size` bytes of `from`, from its byte `offset` on, to `to` as
// platform_write would, the system copying them from file to file without
// their passing through the program.  copy_not_offered, having written
// nothing, where the system has no such copy (Windows 95) or not between
// these two files; copy_failed as a failed write.
enum copy_status { copy_done, copy_not_offered, copy_failed };
copy_status platform_copy(platform_file from, uint32_t offset, platform_file to, uint32_t size);
// Sets the byte offset of the next read.
bool platform_seek(platform_file file, uint32_t offset);
// Forces what was written onto the disk.
bool platform_flush(platform_file file);
bool platform_close(platform_file file);
// Renames a file.  Fails when `from` is missing or `to` already exists: a
// rename never replaces a file.
bool platform_rename(const char* from, const char* to);
bool platform_delete(const char* path);

// Where the place of `to` can rename over a name in one step (a Linux
// folder), renames `from` over `to`, a file under `to` replaced, and flushes
// their folder; there is then never a moment without a file under `to`.
// platform_renames_over says whether it can; where it cannot (Windows 95's
// MoveFileA, a FAT volume through mtools) the swap renames twice instead.
bool platform_renames_over(const char* to);
bool platform_rename_over(const char* from, const char* to);

// Whether two paths name one file: two links of it, as a rename made of a
// link and an unlink leaves them when it is cut off between the two.
bool platform_same_file(const char* first, const char* second);

// Gives `to` what `from` carries beside its bytes, where the place keeps
// it: the DOS attributes (a disk image, a Linux folder on FAT) and, in a
// Linux folder, the mode and the owner.  False when that failed.  The
// Windows program keeps the calls of a replacement as they have always
// been: there this does nothing.
bool platform_copy_attributes(const char* from, const char* to);

// A file this run wrote stands finished under its name without a rename
// (a kept backup): an interruption leaves it alone.
void platform_keep_file(const char* path);

// The file a path names in the end, after any symbolic links, as a path
// these functions accept; `size` bytes at most, NUL included.  A path that
// names no link (and every path where there are none) comes back as it is.
// False when the result does not fit.
bool platform_real_path(const char* path, char* real, uint32_t size);

// A path as the user should see it in a message: the system's separators,
// and the names as they are on disk where they exist.  Cut off at `size`.
void platform_shown_path(const char* path, char* shown, uint32_t size);

// ---- one run at a time -------------------------------------------------------
// An Install or Uninstall holds the INF folder from platform_begin_run to
// platform_end_run, so that no other copy of the program changes it in the
// meantime.  begin_run returns false, having told the user, when another
// one holds it; nothing has been touched then.  Between platform_swap_begins
// and platform_swap_ends a replacement renames its files: nothing may stop
// the program there (a backend holds back what would).
bool platform_begin_run(const char* inf_folder);
void platform_end_run();
void platform_swap_begins();
void platform_swap_ends();

// ---- messages and the system -----------------------------------------------

enum box_icon { icon_none, icon_error, icon_question, icon_information };
enum box_buttons { buttons_ok, buttons_yes_no };
enum box_answer { answer_ok, answer_yes, answer_no };

// An owner-less message box; returns when the user has answered it.
box_answer platform_message_box(const char* text, const char* caption,
                                box_icon icon, box_buttons buttons);

// Copies the Windows directory into `buffer`, as GetWindowsDirectoryA does:
// returns its length without the NUL when it fits, otherwise the size the
// buffer would need, NUL included (so a result >= size means "did not fit"),
// or 0 on failure.
uint32_t platform_windows_dir(char* buffer, uint32_t size);

// ---- the dialog --------------------------------------------------------------

typedef void* platform_window;  // the dialog, as the dialog procedure gets it

// A dialog procedure, as DialogBoxParamA calls one: nonzero when it handled
// the message.
typedef intptr_t (*platform_dialog_procedure)(platform_window dialog, uint32_t message,
                                              uintptr_t first, intptr_t second);

// Shows the dialog whose template has the resource id `template_id`
// modally, with `procedure` as its procedure, and returns its result when
// it has ended.
intptr_t platform_run_dialog(int template_id, platform_dialog_procedure procedure);
void platform_end_dialog(platform_window dialog, intptr_t result);
// BM_GETCHECK and BM_SETCHECK on a check box of the dialog.
int platform_get_check(platform_window dialog, int control);
void platform_set_check(platform_window dialog, int control, int state);

// ---- registry and restart ------------------------------------------------------

typedef uintptr_t platform_key;  // an open registry key

// HKEY_LOCAL_MACHINE, as a key that platform_reg_open can open.
platform_key platform_local_machine();
// RegOpenKeyA: opens `subkey` under `parent`, or `parent` itself when
// `subkey` is null.
bool platform_reg_open(platform_key parent, const char* subkey, platform_key* key);
// RegEnumKeyA: the name of subkey number `index`; false when there is none.
bool platform_reg_enum_key(platform_key key, uint32_t index, char* name, uint32_t size);
// RegDeleteKeyA: deletes `subkey` under `key`.
bool platform_reg_delete_key(platform_key key, const char* subkey);
void platform_reg_close(platform_key key);
// Whether a restart can be offered: the Windows program restarts the
// computer that runs the Windows it changed; the Linux program patches a
// Windows that is not running, so Exit says when the change takes effect
// instead of asking.
bool platform_can_restart();
// Asks the system to restart the computer (ExitWindowsEx with EWX_REBOOT).
void platform_restart();

}  // extern "C"

#endif
