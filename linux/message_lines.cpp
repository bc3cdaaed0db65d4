// The message boxes of a command, as lines of output: an OK box is printed,
// a Yes/No question answered by --yes or --no, else asked on a terminal,
// else answered No.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>

#include "../platform/posix/posix_interruptions.h"
#include "front_end.h"

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
        char* got;
        while ((got = fgets(reply, sizeof reply, stdin)) == nullptr && ferror(stdin) &&
               errno == EINTR) {
            clearerr(stdin);  // a signal came: acted on here, unless held back
            interruptions_check();
        }
        if (got == nullptr) {
            fprintf(out, "No\n");
            fflush(out);
            return answer_no;
        }
        reply[strcspn(reply, "\r\n")] = '\0';
        if (strcasecmp(reply, "y") == 0 || strcasecmp(reply, "yes") == 0) return answer_yes;
        if (strcasecmp(reply, "n") == 0 || strcasecmp(reply, "no") == 0) return answer_no;
    }
}

box_answer message_as_line(const char* text, const char* caption, box_icon icon,
                           box_buttons buttons) {
    if (buttons == buttons_ok) {
        print_box_line(text, caption, icon, nullptr);
        return answer_ok;
    }
    if (invocation.boxes == answer_by_asking && isatty(STDIN_FILENO))
        return ask(text, caption, icon);
    // Nothing waits for input that is not a terminal: No, unless --yes.
    bool yes = invocation.boxes == answer_all_yes;
    print_box_line(text, caption, icon, yes ? "Yes" : "No");
    return yes ? answer_yes : answer_no;
}
