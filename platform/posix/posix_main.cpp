// The Linux program: the dialog in a terminal, or one command for scripts.
// Both go through tamrix_start, so the start-up check, the dialog procedure
// and every message are the core's.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "../../ui/ui.h"
#include "posix_backend.h"

const int kUsageStatus = 2;

int main(int argc, char** argv) {
    posix_run = parse_command_line(argc, argv, getenv("WINDIR"));
    if (posix_run.mode == mode_help) {
        fputs(usage_text(), stdout);
        return 0;
    }
    if (posix_run.mode == mode_invalid) {
        fprintf(stderr, "tamrix: %s\n\n%s", posix_run.error.c_str(), usage_text());
        return kUsageStatus;
    }
    if (posix_run.mode == mode_dialog && (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))) {
        fprintf(stderr,
                "tamrix: the dialog needs a terminal; without one, use\n"
                "  tamrix install|uninstall --windows-dir DIR ...  (see tamrix --help)\n");
        return kUsageStatus;
    }
    tamrix_start();
}
