// The Linux program's front end as a whole: the command line of the run,
// what the seam's calls ask of it (the Windows folder of the command line,
// each message box shown as the run presents itself, in the terminal
// dialog or as a line), and the way out of the process.
#include "front_end.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#include "../disk/image_export.h"
#include "../disk/image_files.h"
#include "../base/interruptions.h"
#include "../disk/refusal_words.h"
#include "../platform/posix/front_end_calls.h"
#include "message_lines.h"
#include "registry_exit.h"
#include "run_files.h"
#include "terminal_dialog.h"
#include "voice.h"

command_line invocation;  // the command line of this run, as parsed

void front_end_exit(int status) {
    interruptions_check();  // a signal not yet acted on ends the program as it would
    terminal_close();
    // What QEMU wrote into an image is in it once its daemon has ended well.
    if (the_image.qemu.running()) {
        image_detach();
        std::string error;
        if (!image_export_end(&the_image.qemu, &error)) {
            tell_on_line(error);
            if (status == exit_done) status = exit_unchanged;
        }
    }
    // A closed standard output ends the program as it ends cat (dry_run.cpp).
    if (status == exit_interrupted + SIGPIPE) {
        signal(SIGPIPE, SIG_DFL);
        raise(SIGPIPE);
    }
    fflush(stdout);
    fflush(stderr);
    exit(status);
}

void end_as_interrupted(int signal_number) {
    interruptions_delete_unfinished();
    terminal_close();
    const char* name = signal_number == SIGINT    ? "SIGINT"
                       : signal_number == SIGTERM ? "SIGTERM"
                       : signal_number == SIGHUP  ? "SIGHUP"
                                                  : "a signal";
    std::string changed = interruptions_changed_files();
    std::string stopped = std::string("Stopped by ") + name;
    if (changed.empty())
        tell_on_line(nothing_changed(stopped));
    else
        tell_on_line(stopped + "; changed before it: " + changed +
                     "; every other file is as it was.");
    front_end_exit(exit_interrupted + signal_number);
}

void install_front_end() {
    // Every call but the message box is the same for the dialog and for a
    // command; a command never runs the dialog.
    static front_end_calls calls = {
        [] { return invocation.windows_dir.c_str(); },
        message_as_line,
        terminal_run_dialog,
        terminal_end_dialog,
        terminal_get_check,
        terminal_set_check,
        run_files_begin,
        run_files_end,
        tell_registry_refused,
    };
    if (invocation.mode == mode_dialog) calls.message_box = terminal_message_box;
    platform_front_end = &calls;
}
