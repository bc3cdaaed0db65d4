// What the pieces of the Linux backend share: how this run presents itself
// (the dialog in a terminal, or one command on plain lines) and the state of
// the dialog's check boxes.
#ifndef TAMRIX_PLATFORM_POSIX_POSIX_BACKEND_H
#define TAMRIX_PLATFORM_POSIX_POSIX_BACKEND_H

#include "../platform.h"
#include "posix_options.h"

// The command line of this run; main() fills it before tamrix_start.
extern command_line posix_run;

// The dialog's state, as both presentations keep it.
struct posix_dialog_state {
    int chipsets_check;  // BM_GETCHECK of 1015
    int usb_check;       // BM_GETCHECK of 1012
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

// ---- plain lines (posix_lines.cpp) -----------------------------------------
// Runs the dialog without showing it: starts it, sets the selection of the
// command line, presses Install or Uninstall, then Exit.
intptr_t lines_run_dialog();
box_answer lines_message_box(const char* text, const char* caption, box_icon icon,
                             box_buttons buttons);
// Prints a box as one line, "Caption: text", to standard error for errors
// and to standard output otherwise; `answer` follows a Yes/No question.
void print_box_line(const char* text, const char* caption, box_icon icon, const char* answer);

#endif
