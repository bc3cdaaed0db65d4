// The message boxes of a command, as lines of output: an OK box is printed,
// a Yes/No question answered by --yes or --no, else asked on a terminal,
// else answered No.
#include "message_lines.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>

#include "../base/interruptions.h"
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

FILE* lines_for_people() { return invocation.dry_run ? stderr : stdout; }

static FILE* stream_for(box_icon icon) { return icon == icon_error ? stderr : lines_for_people(); }

void print_box_line(const char* text, const char* caption, box_icon icon, const char* answer) {
    FILE* out = stream_for(icon);
    std::string line = box_line(text, caption);
    if (answer != nullptr) line += std::string(" [Yes/No] ") + answer;
    fprintf(out, "%s\n", line.c_str());
    fflush(out);
}

// One line typed on the terminal, without its line end; false at the end
// of input.  Read a byte at a time straight from the descriptor, so that no
// typed answer waits in a buffer while the program waits for the terminal.
static bool read_reply(std::string* reply) {
    reply->clear();
    for (;;) {
        input_wait waited;
        while ((waited = interruptions_wait_for_input(STDIN_FILENO)) == input_other_signal) {
        }
        if (waited == input_wait_failed) return false;
        char c;
        ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) continue;  // acted on by the next wait
        if (got <= 0) return !reply->empty();  // a last line without its end counts
        if (c == '\n') return true;
        if (c != '\r' && reply->size() < 64) *reply += c;
    }
}

// Asks on the terminal until the answer is yes or no; the end of input is No.
static box_answer ask(const char* text, const char* caption, box_icon icon) {
    FILE* out = stream_for(icon);
    for (;;) {
        fprintf(out, "%s [Yes/No] ", box_line(text, caption).c_str());
        fflush(out);
        std::string reply;
        if (!read_reply(&reply)) {
            fprintf(out, "No\n");
            fflush(out);
            return answer_no;
        }
        const char* answer = reply.c_str();
        if (strcasecmp(answer, "y") == 0 || strcasecmp(answer, "yes") == 0) return answer_yes;
        if (strcasecmp(answer, "n") == 0 || strcasecmp(answer, "no") == 0) return answer_no;
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
