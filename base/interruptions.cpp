// The handling of interruptions (see interruptions.h).
#include "interruptions.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <string.h>

#include <vector>

namespace {

// A file written in this run and not yet renamed into place.
struct unfinished_file {
    deleter remove;
    std::string name;
};
std::vector<unfinished_file> unfinished;  // changed on the main path only
std::vector<std::string> changed;         // files holding a new text of this run's

volatile sig_atomic_t recorded_signal;  // set by the handler, acted on by the main path
int holds;                              // how many holds are in force
bool ending;                            // the unfinished files are being deleted
void (*end_program)(int);               // the program's way out for a signal

const int kCaught[] = {SIGINT, SIGTERM, SIGHUP};

void record(int signal_number) { recorded_signal = signal_number; }

// Whether interruptions_check would end the program now.
bool signal_due() {
    return recorded_signal != 0 && holds == 0 && !ending && end_program != nullptr;
}

}  // namespace

void interruptions_catch(void (*end)(int signal_number)) {
    end_program = end;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = record;
    sigfillset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a wait for input returns with EINTR
    for (int signal_number : kCaught) sigaction(signal_number, &action, nullptr);
}

void interruptions_check() {
    if (signal_due()) end_program(recorded_signal);
}

input_wait interruptions_wait_for_input(int fd) {
    sigset_t caught, outside;
    sigemptyset(&caught);
    for (int signal_number : kCaught) sigaddset(&caught, signal_number);
    // With the signals blocked, none can be recorded between the look at
    // recorded_signal and the wait; ppoll lets them in only while it waits,
    // and returns (EINTR) when one comes.
    sigprocmask(SIG_BLOCK, &caught, &outside);
    int ready = 0, error = EINTR;
    if (!signal_due()) {
        struct pollfd input = {fd, POLLIN, 0};
        ready = ppoll(&input, 1, nullptr, &outside);
        error = errno;
    }
    sigprocmask(SIG_SETMASK, &outside, nullptr);  // the program ends unblocked
    interruptions_check();
    if (ready > 0) return input_ready;
    return error == EINTR ? input_other_signal : input_wait_failed;
}

void interruptions_hold() { holds++; }

void interruptions_let_through() {
    holds--;
    interruptions_check();
}

void interruptions_note_unfinished(const char* name, deleter remove) {
    unfinished.push_back({remove, name});
}

bool interruptions_forget_unfinished(const char* name) {
    for (size_t i = 0; i < unfinished.size(); i++) {
        if (unfinished[i].name != name) continue;
        unfinished.erase(unfinished.begin() + (long)i);
        return true;
    }
    return false;
}

void interruptions_forget_all() { unfinished.clear(); }

void interruptions_note_changed(const char* shown) {
    for (const std::string& file : changed)
        if (file == shown) return;
    changed.push_back(shown);
}

std::string interruptions_changed_files() {
    std::string list;
    for (const std::string& file : changed) list += (list.empty() ? "" : ", ") + file;
    return list;
}

void interruptions_delete_unfinished() {
    ending = true;
    std::vector<unfinished_file> deleting;
    deleting.swap(unfinished);
    for (const unfinished_file& file : deleting) file.remove(file.name.c_str());
}
