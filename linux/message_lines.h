// The message boxes of a command, as lines of output (message_lines.cpp).
#ifndef TAMRIX_LINUX_MESSAGE_LINES_H
#define TAMRIX_LINUX_MESSAGE_LINES_H

#include <stdio.h>

#include "../platform/platform.h"

// Where lines for people go: standard output, or standard error where
// standard output carries the dry run's diff, which must stay a pure diff
// for patch and git apply.
FILE* lines_for_people();
// A message box as a line; a Yes/No question answered by --yes or --no,
// else asked on a terminal, else answered No.
box_answer message_as_line(const char* text, const char* caption, box_icon icon,
                           box_buttons buttons);
// Prints a box as one line, "Caption: text", to standard error for errors
// and to standard output otherwise; `answer` follows a Yes/No question.
void print_box_line(const char* text, const char* caption, box_icon icon, const char* answer);

#endif
