// The Linux program: the dialog in a terminal, or one command for scripts.
// Both use the core's start-up check, runs and messages; the dialog also the
// core's dialog procedure.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "../../ui/ui.h"
#include "../image/image_start.h"
#include "posix_backend.h"

const int kUsageStatus = 2;

int main(int argc, char** argv) {
    posix_catch_interruptions();
    posix_run = parse_command_line(argc, argv, getenv("WINDIR"));
    if (posix_run.mode == mode_help) {
        fputs(usage_text(), stdout);
        return 0;
    }
    if (posix_run.mode == mode_invalid) {
        fprintf(stderr, "tamrix: %s\nTry 'tamrix --help'.\n", posix_run.error.c_str());
        return kUsageStatus;
    }
    if (posix_run.mode == mode_dialog && (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))) {
        fprintf(stderr,
                "tamrix: the dialog needs a terminal; without one, use\n"
                "  tamrix install|uninstall --windows-dir DIR ...  (see tamrix --help)\n");
        return kUsageStatus;
    }
    // A Windows folder inside a disk image: the image is readied first.
    if (posix_run.has_image) {
        int refused = image_start(&posix_run);
        if (refused != 0) posix_exit(refused);
    }
    if (posix_run.mode == mode_dialog) posix_exit(tamrix_start(posix_run.platform_kind));
    posix_exit(lines_run_command());
}
