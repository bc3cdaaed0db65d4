// The Linux program's own part of the seam: the Windows folder comes from
// the command line, and each message box is shown as the run presents
// itself, in the terminal dialog or as a line.
#include "front_end.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../disk/image_export.h"
#include "../disk/image_files.h"
#include "../base/interruptions.h"
#include "../disk/refusal_words.h"
#include "message_lines.h"
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

uint32_t platform_windows_dir(char* buffer, uint32_t size) {
    const std::string& dir = invocation.windows_dir;
    uint32_t length = (uint32_t)dir.size();
    if (length == 0) return 0;
    if (length >= size) return length + 1;  // the size it needs, NUL included
    memcpy(buffer, dir.c_str(), length + 1);
    return length;
}

box_answer platform_message_box(const char* text, const char* caption, box_icon icon,
                                box_buttons buttons) {
    if (invocation.mode == mode_dialog) return terminal_message_box(text, caption, icon, buttons);
    return message_as_line(text, caption, icon, buttons);
}
