// The seam's file functions in the Linux program: a Windows folder on a
// Linux file system (posix_files.cpp), one run at a time, and runs that an
// interruption cannot cut in half.
//
// SIGINT, SIGTERM and SIGHUP end the program with status 128 + the signal.
// Outside a run they do so at once.  Inside one they are noted, and acted on
// at the run's next file call: the files the run has written and not yet
// renamed into place (out.inf, a new usb.inf) are deleted first, so the
// folder holds what it held before the run, or the finished result of a
// swap.  Between platform_swap_begins and platform_swap_ends nothing is acted
// on: the renames of a swap always run to their end.
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "posix_backend.h"
#include "posix_files.h"

namespace {

volatile sig_atomic_t in_run;          // between platform_begin_run and platform_end_run
volatile sig_atomic_t pending_signal;  // an interruption of the run not yet acted on
bool in_swap;                          // between platform_swap_begins and platform_swap_ends
int folder_lock = kNoLock;             // the INF folder, held by this run
std::vector<std::string> unfinished;   // written in this run, not yet renamed into place

void on_interruption(int signal_number) {
    if (!in_run) _exit(128 + signal_number);
    pending_signal = signal_number;
}

void forget(const char* path) {
    for (size_t i = 0; i < unfinished.size(); i++)
        if (unfinished[i] == path) unfinished.erase(unfinished.begin() + (long)i--);
}

// Called on every file call of a run: ends the program where it was
// interrupted and may stop here.
void act_on_interruption() {
    if (pending_signal == 0 || in_swap) return;
    for (const std::string& path : unfinished) posix_delete(path.c_str());
    posix_exit(128 + pending_signal);
}

}  // namespace

void posix_catch_interruptions() {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_interruption;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
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
    unfinished.clear();
    pending_signal = 0;
    in_run = 1;
    return true;
}

void platform_end_run() {
    act_on_interruption();
    in_run = 0;
    unfinished.clear();
    posix_unlock_folder(folder_lock);
    folder_lock = kNoLock;
}

void platform_swap_begins() {
    act_on_interruption();
    in_swap = true;
}

void platform_swap_ends() {
    in_swap = false;
    act_on_interruption();
}

// ---- files ------------------------------------------------------------------------

open_status platform_open_read(const char* path, platform_file* file) {
    act_on_interruption();
    return posix_open_read(path, file);
}

bool platform_open_write(const char* path, platform_file* file) {
    act_on_interruption();
    if (in_run) unfinished.push_back(path);
    bool opened = posix_open_write(path, file);
    act_on_interruption();  // a signal during the open: the file may be there
    return opened;
}

int32_t platform_read(platform_file file, char* buffer, uint32_t size) {
    act_on_interruption();
    return posix_read(file, buffer, size);
}

bool platform_write(platform_file file, const char* data, uint32_t size) {
    act_on_interruption();
    return posix_write(file, data, size);
}

bool platform_seek(platform_file file, uint32_t offset) {
    act_on_interruption();
    return posix_seek(file, offset);
}

bool platform_flush(platform_file file) {
    act_on_interruption();
    return posix_flush(file);
}

bool platform_close(platform_file file) { return posix_close(file); }

bool platform_rename(const char* from, const char* to) {
    act_on_interruption();
    bool renamed = posix_rename(from, to);
    if (renamed) forget(from);  // its text now stands under its final name
    return renamed;
}

bool platform_delete(const char* path) {
    act_on_interruption();
    bool deleted = posix_delete(path);
    if (deleted) forget(path);
    return deleted;
}

bool platform_real_path(const char* path, char* real, uint32_t size) {
    return posix_real_path(path, real, size);
}

void platform_shown_path(const char* path, char* shown, uint32_t size) {
    posix_shown_path(path, shown, size);
}
