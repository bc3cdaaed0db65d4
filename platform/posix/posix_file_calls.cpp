// The seam's file functions in the Linux program: a Windows folder on a
// Linux file system (posix_files.cpp), one run at a time, and runs that an
// interruption cannot cut in half.
//
// SIGINT, SIGTERM and SIGHUP (and Ctrl-C, or a terminal that goes away,
// in the terminal dialog) end the program with status 128 + the signal.
// First the files the run has written and not yet renamed into place
// (out.inf, a new usb.inf) are deleted, so the folder holds what it held
// before the run, or the finished result of a swap.  Between
// platform_swap_begins and platform_swap_ends an interruption waits: the
// renames of a swap always run to their end.
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "posix_backend.h"
#include "posix_files.h"

namespace {

// Files written in this run and not yet renamed into place, as Linux paths.
// Fixed buffers, so that a signal handler can read them and unlink them.
const int kMostUnfinished = 4;
char unfinished[kMostUnfinished][4096];
volatile sig_atomic_t unfinished_count;

volatile sig_atomic_t in_swap;         // between platform_swap_begins and platform_swap_ends
volatile sig_atomic_t pending_signal;  // came during a swap, acted on after it
int folder_lock = kNoLock;             // the INF folder, held by this run

// Only what a signal handler may do: unlink, and _exit.
void delete_unfinished() {
    for (int i = 0; i < unfinished_count; i++) unlink(unfinished[i]);
}

void on_interruption(int signal_number) {
    if (in_swap) {
        pending_signal = signal_number;
        return;
    }
    delete_unfinished();
    terminal_give_back_at_once();
    _exit(128 + signal_number);
}

// The unfinished list changes with the signals held back, so that the
// handler never sees it half changed.
struct signals_held {
    sigset_t old;
    signals_held() {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &old);
    }
    ~signals_held() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

void note_unfinished(const char* path) {
    signals_held held;
    if (unfinished_count == kMostUnfinished) return;
    snprintf(unfinished[unfinished_count], sizeof unfinished[0], "%s",
             posix_linux_path(path).c_str());
    unfinished_count = unfinished_count + 1;
}

void forget_unfinished(const char* path) {
    signals_held held;
    std::string name = posix_linux_path(path);
    for (int i = 0; i < unfinished_count; i++) {
        if (name != unfinished[i]) continue;
        memmove(unfinished[i], unfinished[unfinished_count - 1], sizeof unfinished[0]);
        unfinished_count = unfinished_count - 1;
        return;
    }
}

}  // namespace

void posix_catch_interruptions() {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_interruption;
    sigfillset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

void posix_interrupted(int signal_number) {
    delete_unfinished();
    posix_exit(128 + signal_number);
}

// ---- one run at a time ----------------------------------------------------------

bool platform_begin_run(const char* inf_folder) {
    folder_lock = posix_lock_folder(inf_folder);
    if (folder_lock == kFolderBusy) {
        char shown[4096];
        posix_shown_path(inf_folder, shown, sizeof shown);
        std::string text = std::string("Another Tamrix is changing ") + shown +
                           " right now; nothing was changed.  Try again when it has finished.";
        platform_message_box(text.c_str(), "Tamrix", icon_error, buttons_ok);
        return false;
    }
    return true;
}

void platform_end_run() {
    unfinished_count = 0;
    posix_unlock_folder(folder_lock);
    folder_lock = kNoLock;
}

void platform_swap_begins() { in_swap = 1; }

void platform_swap_ends() {
    in_swap = 0;
    if (pending_signal != 0) on_interruption(pending_signal);
}

// ---- files ------------------------------------------------------------------------

open_status platform_open_read(const char* path, platform_file* file) {
    return posix_open_read(path, file);
}

bool platform_open_write(const char* path, platform_file* file) {
    note_unfinished(path);  // before it exists: an interruption may come at once
    bool opened = posix_open_write(path, file);
    if (!opened) forget_unfinished(path);
    return opened;
}

int32_t platform_read(platform_file file, char* buffer, uint32_t size) {
    return posix_read(file, buffer, size);
}
bool platform_write(platform_file file, const char* data, uint32_t size) {
    return posix_write(file, data, size);
}
bool platform_seek(platform_file file, uint32_t offset) { return posix_seek(file, offset); }
bool platform_flush(platform_file file) { return posix_flush(file); }
bool platform_close(platform_file file) { return posix_close(file); }

bool platform_rename(const char* from, const char* to) {
    bool renamed = posix_rename(from, to);
    if (renamed) forget_unfinished(from);  // its text now stands under its final name
    return renamed;
}

bool platform_delete(const char* path) {
    bool deleted = posix_delete(path);
    if (deleted) forget_unfinished(path);
    return deleted;
}

bool platform_real_path(const char* path, char* real, uint32_t size) {
    return posix_real_path(path, real, size);
}

void platform_shown_path(const char* path, char* shown, uint32_t size) {
    posix_shown_path(path, shown, size);
}
