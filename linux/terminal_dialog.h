// The dialog in a terminal (terminal_dialog.cpp, ncurses): the core's
// dialog and its message boxes.
#ifndef TAMRIX_LINUX_TERMINAL_DIALOG_H
#define TAMRIX_LINUX_TERMINAL_DIALOG_H

#include "../platform/platform.h"

// A message box drawn over the dialog, answered by keys or the mouse.
box_answer terminal_message_box(const char* text, const char* caption, box_icon icon,
                                box_buttons buttons);
// The dialog of the core's dialog procedure, drawn in the terminal, and its
// check boxes (as platform_run_dialog and its kin promise).
intptr_t terminal_run_dialog(int template_id, platform_dialog_procedure procedure);
void terminal_end_dialog(platform_window dialog, intptr_t result);
int terminal_get_check(platform_window dialog, int control);
void terminal_set_check(platform_window dialog, int control, int state);
// Gives the terminal back before the process ends, then prints the boxes
// that the last command showed, since the screen that held them is gone.
// Does nothing when the terminal was never taken.
void terminal_close();

#endif
