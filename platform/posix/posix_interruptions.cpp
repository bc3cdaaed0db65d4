// The handling of interruptions (see posix_interruptions.h).
#include "posix_interruptions.h"

#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace {

// A file written in this run and not yet renamed into place.  Fixed
// buffers, so that the signal handler can read them.
struct unfinished_file {
    deleter remove;
    char name[4096];
};
const int kMostUnfinished = 4;
unfinished_file unfinished[kMostUnfinished];  // the first unfinished_count are in use
volatile sig_atomic_t unfinished_count;       // how many files are unfinished

volatile sig_atomic_t holds;           // how many holds are in force
volatile sig_atomic_t pending_signal;  // came while held back, acted on after
void (*give_back_at_exit)();           // the program's last step before _exit

void on_interruption(int signal_number) {
    if (holds > 0) {
        pending_signal = signal_number;
        return;
    }
    interruptions_delete_unfinished();
    if (give_back_at_exit != nullptr) give_back_at_exit();
    _exit(128 + signal_number);
}

// The unfinished list changes with the signals blocked.
struct signals_blocked {
    sigset_t old;
    signals_blocked() {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &old);
    }
    ~signals_blocked() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

}  // namespace

void interruptions_catch(void (*give_back)()) {
    give_back_at_exit = give_back;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_interruption;
    sigfillset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    const int kCaught[] = {SIGINT, SIGTERM, SIGHUP};
    for (int signal_number : kCaught) sigaction(signal_number, &action, nullptr);
}

void interruptions_hold() { holds = holds + 1; }

void interruptions_let_through() {
    holds = holds - 1;
    if (holds == 0 && pending_signal != 0) on_interruption(pending_signal);
}

void interruptions_note_unfinished(const char* name, deleter remove) {
    signals_blocked blocked;
    if (unfinished_count == kMostUnfinished) return;
    unfinished_file& file = unfinished[unfinished_count];
    file.remove = remove;
    snprintf(file.name, sizeof file.name, "%s", name);
    unfinished_count = unfinished_count + 1;
}

void interruptions_forget_unfinished(const char* name) {
    signals_blocked blocked;
    for (int i = 0; i < unfinished_count; i++) {
        if (strcmp(name, unfinished[i].name) != 0) continue;
        unfinished[i] = unfinished[unfinished_count - 1];
        unfinished_count = unfinished_count - 1;
        return;
    }
}

void interruptions_forget_all() { unfinished_count = 0; }

void interruptions_delete_unfinished() {
    for (int i = 0; i < unfinished_count; i++) unfinished[i].remove(unfinished[i].name);
    unfinished_count = 0;
}
