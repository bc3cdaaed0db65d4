// One command without the dialog (commands.cpp): install, uninstall or status.
#ifndef TAMRIX_LINUX_COMMANDS_H
#define TAMRIX_LINUX_COMMANDS_H

#include <string>

#include "../ops/inf_runs.h"

// Runs the command of the command line without the dialog: install or
// uninstall (the start-up check, the run, then Exit's closing steps; or the
// changes they would make), or status.  Returns the exit status.
int run_command();
// The exit status a run of the command line ends with.
int exit_status_of(const run_outcome& run);
// A target's path as it is under the Windows folder: "INF/machine.inf".
std::string shown_in_windows_dir(inf_target target);

#endif
