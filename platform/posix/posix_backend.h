// What the pieces of the Linux backend share: how this run presents itself
// (the dialog in a terminal, or one command on plain lines), the state of
// the terminal dialog's check boxes, and the end of the process.
#ifndef TAMRIX_PLATFORM_POSIX_POSIX_BACKEND_H
#define TAMRIX_PLATFORM_POSIX_POSIX_BACKEND_H

#include <string>

#include "../../ops/inf_runs.h"
#include "../platform.h"
#include "posix_options.h"

// The command line of this run; main() fills it first.
extern command_line posix_run;

// Gives the terminal back, then ends the process: the one way out.
[[noreturn]] void posix_exit(int status);

// SIGINT, SIGTERM and SIGHUP end the program with 128 + the signal, never in
// the middle of a swap, and never leaving a file half written
// (posix_file_calls.cpp).  Called once, first thing.
void posix_catch_interruptions();
// Ends the program as that signal would, from wherever it is (Ctrl-C read
// as a key, a terminal that has gone away).
[[noreturn]] void posix_interrupted(int signal_number);

// The terminal dialog's state.
struct posix_dialog_state {
    int chipsets_check;  // BM_GETCHECK of IDC_CHIPSETS
    int usb_check;       // BM_GETCHECK of IDC_USB
    bool ended;          // platform_end_dialog was called
    intptr_t result;
};
extern posix_dialog_state posix_dialog;

// The dialog's window handle as main_dialog_proc gets it.
platform_window posix_dialog_window();

// ---- the terminal (posix_terminal.cpp) -------------------------------------
intptr_t terminal_run_dialog();
box_answer terminal_message_box(const char* text, const char* caption, box_icon icon,
                                box_buttons buttons);
// Gives the terminal back before the process ends, then prints the boxes
// that the last command showed, since the screen that held them is gone.
// Does nothing when the terminal was never taken.
void terminal_close();
// The same from a signal handler: only what is safe there (the terminal's
// saved modes back, the normal screen, the cursor).
void terminal_give_back_at_once();

// ---- plain lines (posix_lines.cpp) -----------------------------------------
// Runs the command of the command line without the dialog: install or
// uninstall (the start-up check, the run, then Exit's closing steps; or the
// changes they would make), or status.  Returns the exit status.
int lines_run_command();
// The exit status a run of the command line ends with.
int exit_status_of(const run_outcome& run);
// A target's path as it is under the Windows folder: "INF/machine.inf".
std::string shown_in_windows_dir(inf_target target);

// ---- looking without changing (posix_status.cpp, posix_preview.cpp) --------
// "tamrix status": a line for each file, what it holds now.
int show_status(selection chosen, int windows_kind);
// "--dry-run": what Install or Uninstall would write, as a unified diff.
int show_changes(selection chosen, bool install);
box_answer lines_message_box(const char* text, const char* caption, box_icon icon,
                             box_buttons buttons);
// Prints a box as one line, "Caption: text", to standard error for errors
// and to standard output otherwise; `answer` follows a Yes/No question.
void print_box_line(const char* text, const char* caption, box_icon icon, const char* answer);

#endif
