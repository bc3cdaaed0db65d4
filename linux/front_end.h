// What every piece of the Linux program shares: the command line of this
// run, the front end's part of the seam, and the one way out of the
// process (front_end.cpp).  The program
// has one header for each of its files; platform/posix/ holds its side of
// the seam.
#ifndef TAMRIX_LINUX_FRONT_END_H
#define TAMRIX_LINUX_FRONT_END_H

#include "command_line.h"
#include "exit_status.h"

// The command line of this run; main() fills it first.
extern command_line invocation;

// Installs what the seam's calls ask of the front end
// (platform/posix/front_end_calls.h), as `invocation` says the run
// presents itself: the terminal dialog, or one command on lines.
void install_front_end();

// Gives the terminal back and ends QEMU's export of the image, then ends
// the process: the one way out.  A run whose changes QEMU may not have
// written ends with exit_unchanged.
[[noreturn]] void front_end_exit(int status);
// Ends the program as that signal would, from wherever it is (Ctrl-C read
// as a key, a terminal that has gone away): no file left unfinished.
[[noreturn]] void end_as_interrupted(int signal_number);

#endif
