// "tamrix install", "tamrix uninstall" and "tamrix status": runs without
// the dialog.  A run gets the selection of the command line, and Exit's
// closing steps follow it, as they follow the Exit button; the exit status
// says what became of the files.  Each message box becomes one line of
// output.
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>

#include "../../system/system.h"
#include "../../ui/ui.h"
#include "posix_backend.h"

// The exit statuses of a command.
const int kStatusDone = 0;          // every file asked for ended as asked
const int kStatusMissing = 1;       // an INF file missing, or not creatable
const int kStatusUnchanged = 3;     // a file left as it was by a failure
const int kStatusHeldElsewhere = 4; // another Tamrix holds the INF folder

int exit_status_of(const run_outcome& run) {
    if (run.held_elsewhere) return kStatusHeldElsewhere;
    int status = kStatusDone;
    for (file_outcome outcome : run.file) {
        if (outcome == target_missing || outcome == cannot_create) return kStatusMissing;
        if (outcome != not_run && outcome != replaced && outcome != created)
            status = kStatusUnchanged;
    }
    return status;
}

int lines_run_command() {
    selection chosen{posix_run.chipsets, posix_run.usb};
    if (posix_run.mode == mode_status) {
        read_windows_dir();
        return show_status(chosen, posix_run.platform_kind);
    }
    if (!may_start(posix_run.platform_kind)) return kStatusDone;
    read_windows_dir();
    if (posix_run.dry_run) return show_changes(chosen, posix_run.mode == mode_install);
    run_outcome run = posix_run.mode == mode_install
                          ? run_install(chosen, posix_run.platform_kind)
                          : run_uninstall(chosen);
    if (!run.ends_process && files_changed) finish_changes();
    return exit_status_of(run);
}

std::string shown_in_windows_dir(inf_target target) {
    char shown[4096], dir[4096];
    platform_shown_path(target_path(target), shown, sizeof shown);
    platform_shown_path(windows_dir, dir, sizeof dir);
    size_t length = strlen(dir);
    const char* relative = strncmp(shown, dir, length) == 0 ? shown + length : shown;
    while (*relative == '/') relative++;
    return relative;
}

// The text on one line: each line break becomes " / ".
static std::string one_line(const char* text) {
    std::string line;
    for (const char* c = text; *c != '\0'; c++) {
        if (*c == '\n')
            line += " / ";
        else
            line += *c;
    }
    return line;
}

static std::string box_line(const char* text, const char* caption) {
    return std::string(caption) + ": " + one_line(text);
}

static FILE* stream_for(box_icon icon) { return icon == icon_error ? stderr : stdout; }

void print_box_line(const char* text, const char* caption, box_icon icon, const char* answer) {
    FILE* out = stream_for(icon);
    std::string line = box_line(text, caption);
    if (answer != nullptr) line += std::string(" [Yes/No] ") + answer;
    fprintf(out, "%s\n", line.c_str());
    fflush(out);
}

// Asks on the terminal until the answer is yes or no; the end of input is No.
static box_answer ask(const char* text, const char* caption, box_icon icon) {
    FILE* out = stream_for(icon);
    for (;;) {
        fprintf(out, "%s [Yes/No] ", box_line(text, caption).c_str());
        fflush(out);
        char reply[64];
        if (fgets(reply, sizeof reply, stdin) == nullptr) {
            fprintf(out, "No\n");
            fflush(out);
            return answer_no;
        }
        reply[strcspn(reply, "\r\n")] = '\0';
        if (strcasecmp(reply, "y") == 0 || strcasecmp(reply, "yes") == 0) return answer_yes;
        if (strcasecmp(reply, "n") == 0 || strcasecmp(reply, "no") == 0) return answer_no;
    }
}

box_answer lines_message_box(const char* text, const char* caption, box_icon icon,
                             box_buttons buttons) {
    if (buttons == buttons_ok) {
        print_box_line(text, caption, icon, nullptr);
        return answer_ok;
    }
    if (posix_run.boxes == answer_by_asking && isatty(STDIN_FILENO)) return ask(text, caption, icon);
    // Nothing waits for input that is not a terminal: No, unless --yes.
    bool yes = posix_run.boxes == answer_all_yes;
    print_box_line(text, caption, icon, yes ? "Yes" : "No");
    return yes ? answer_yes : answer_no;
}
