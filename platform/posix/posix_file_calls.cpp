// The seam's file functions in the Linux program: a Windows folder on a
// Linux file system (posix_files.cpp) or inside a disk image
// (platform/image/), one run at a time, and runs that an interruption
// cannot cut in half.
//
// Each path, and each file opened on it, belongs to one of the two
// backends; which one is decided here, by backend_of, and nowhere else.
// The paths of an image are those on its drive C: (the Windows folder is
// then "C:\WINDOWS"); every other path is one of this system's.
//
// SIGINT, SIGTERM and SIGHUP (and Ctrl-C, or a terminal that goes away,
// in the terminal dialog) end the program with status 128 + the signal.
// First the files the run has written and not yet renamed into place
// (out.inf, a new usb.inf) are deleted, so the folder holds what it held
// before the run, or the finished result of a swap.  While interruptions
// are held back, an interruption waits: between platform_swap_begins and
// platform_swap_ends, so that the renames of a swap always run to their
// end, and while a change is being made inside an image, so that no file
// of the image is ever left half written.
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "../image/image_files.h"
#include "posix_backend.h"
#include "posix_files.h"

namespace {

// ---- the backends ------------------------------------------------------------------

struct file_backend {
    open_status (*open_read)(const char*, platform_file*);
    bool (*open_write)(const char*, platform_file*);
    int32_t (*read)(platform_file, char*, uint32_t);
    bool (*write)(platform_file, const char*, uint32_t);
    bool (*seek)(platform_file, uint32_t);
    bool (*flush)(platform_file);
    bool (*close)(platform_file);
    bool (*rename)(const char*, const char*);
    bool (*remove)(const char*);
    bool (*real_path)(const char*, char*, uint32_t);
    void (*shown_path)(const char*, char*, uint32_t);
    // Its changes take long enough to be cut off (a program it runs):
    // interruptions are held back while one is made.
    bool slow_changes;
};

const file_backend kFolder = {
    posix_open_read, posix_open_write, posix_read, posix_write, posix_seek, posix_flush,
    posix_close, posix_rename, posix_delete, posix_real_path, posix_shown_path, false,
};
const file_backend kImage = {
    image_open_read, image_open_write, image_read, image_write, image_seek, image_flush,
    image_close, image_rename, image_delete, image_real_path, image_shown_path, true,
};

const file_backend& backend_of(const char* path) { return image_holds(path) ? kImage : kFolder; }
const file_backend& backend_of(platform_file file) { return image_owns(file) ? kImage : kFolder; }

// ---- interruptions ------------------------------------------------------------------

// Files written in this run and not yet renamed into place: Linux paths, or
// paths in the image.  Fixed buffers, so that a signal handler can read
// them and delete the files.
struct unfinished_file {
    bool in_image;
    char path[4096];
};
const int kMostUnfinished = 4;
unfinished_file unfinished[kMostUnfinished];
volatile sig_atomic_t unfinished_count;

volatile sig_atomic_t held_back;       // how many holds are in force
volatile sig_atomic_t pending_signal;  // came while held back, acted on after
int folder_lock = kNoLock;             // the INF folder, held by this run
bool image_locked_for_run;             // or the disk image

// Only what a signal handler may do: unlink, fork and execve, and _exit.
void delete_unfinished() {
    for (int i = 0; i < unfinished_count; i++) {
        if (unfinished[i].in_image)
            image_delete_at_once(unfinished[i].path);
        else
            unlink(unfinished[i].path);
    }
    unfinished_count = 0;
}

void on_interruption(int signal_number) {
    if (held_back > 0) {
        pending_signal = signal_number;
        return;
    }
    delete_unfinished();
    terminal_give_back_at_once();
    _exit(128 + signal_number);
}

void hold_back() { held_back = held_back + 1; }

void let_through() {
    held_back = held_back - 1;
    if (held_back == 0 && pending_signal != 0) on_interruption(pending_signal);
}

// The unfinished list changes with the signals blocked, so that the
// handler never sees it half changed.
struct signals_blocked {
    sigset_t old;
    signals_blocked() {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &old);
    }
    ~signals_blocked() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

// How an unfinished file is named for its deletion.
std::string deletion_name(const char* path) {
    return image_holds(path) ? std::string(path) : posix_linux_path(path);
}

void note_unfinished(const char* path) {
    std::string name = deletion_name(path);
    signals_blocked blocked;
    if (unfinished_count == kMostUnfinished) return;
    unfinished_file& file = unfinished[unfinished_count];
    file.in_image = image_holds(path);
    snprintf(file.path, sizeof file.path, "%s", name.c_str());
    unfinished_count = unfinished_count + 1;
}

void forget_unfinished(const char* path) {
    std::string name = deletion_name(path);
    signals_blocked blocked;
    for (int i = 0; i < unfinished_count; i++) {
        if (name != unfinished[i].path) continue;
        unfinished[i] = unfinished[unfinished_count - 1];
        unfinished_count = unfinished_count - 1;
        return;
    }
}

// A change through `backend`, held back from interruptions where it must be.
template <typename change>
bool changed(const file_backend& backend, change make) {
    if (!backend.slow_changes) return make();
    hold_back();
    bool done = make();
    let_through();
    return done;
}

void tell_held(const char* what, const char* shown, const char* then) {
    std::string text = std::string(what) + shown + then;
    platform_message_box(text.c_str(), "Tamrix", icon_error, buttons_ok);
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
// A folder is held by a lock on it; an image by locks on the image file,
// which also keep out a virtual machine that has it open.

bool platform_begin_run(const char* inf_folder) {
    char shown[4096];
    if (image_holds(inf_folder)) {
        image_lock_result lock = image_lock();
        image_locked_for_run = lock == image_locked;
        snprintf(shown, sizeof shown, "%s", posix_run.image.c_str());
        if (lock == image_held_by_tamrix)
            tell_held("Another Tamrix is changing ", shown,
                      " right now; nothing was changed.  Try again when it has finished.");
        else if (lock == image_in_use)
            tell_held("The disk image ", shown,
                      " is in use by another program, such as a virtual machine that has it open; "
                      "nothing was changed.  Shut the virtual machine down first, then try again.");
        else if (lock == image_not_locked)
            tell_held("The disk image ", shown, " could not be locked; nothing was changed.");
        return image_locked_for_run;
    }
    folder_lock = posix_lock_folder(inf_folder);
    if (folder_lock == kFolderBusy) {
        posix_shown_path(inf_folder, shown, sizeof shown);
        tell_held("Another Tamrix is changing ", shown,
                  " right now; nothing was changed.  Try again when it has finished.");
        return false;
    }
    return true;
}

void platform_end_run() {
    unfinished_count = 0;
    posix_unlock_folder(folder_lock);
    folder_lock = kNoLock;
    if (image_locked_for_run) image_unlock();
    image_locked_for_run = false;
}

void platform_swap_begins() { hold_back(); }

void platform_swap_ends() { let_through(); }

// ---- files ------------------------------------------------------------------------

open_status platform_open_read(const char* path, platform_file* file) {
    return backend_of(path).open_read(path, file);
}

bool platform_open_write(const char* path, platform_file* file) {
    note_unfinished(path);  // before it exists: an interruption may come at once
    bool opened = backend_of(path).open_write(path, file);
    if (!opened) forget_unfinished(path);
    return opened;
}

int32_t platform_read(platform_file file, char* buffer, uint32_t size) {
    return backend_of(file).read(file, buffer, size);
}

bool platform_write(platform_file file, const char* data, uint32_t size) {
    return backend_of(file).write(file, data, size);
}

bool platform_seek(platform_file file, uint32_t offset) {
    return backend_of(file).seek(file, offset);
}

bool platform_flush(platform_file file) {
    const file_backend& backend = backend_of(file);
    return changed(backend, [&] { return backend.flush(file); });
}

bool platform_close(platform_file file) {
    const file_backend& backend = backend_of(file);
    return changed(backend, [&] { return backend.close(file); });
}

bool platform_rename(const char* from, const char* to) {
    const file_backend& backend = backend_of(from);
    if (&backend != &backend_of(to)) return false;  // never from one place to the other
    bool renamed = changed(backend, [&] { return backend.rename(from, to); });
    if (renamed) forget_unfinished(from);  // its text now stands under its final name
    return renamed;
}

bool platform_delete(const char* path) {
    const file_backend& backend = backend_of(path);
    bool deleted = changed(backend, [&] { return backend.remove(path); });
    if (deleted) forget_unfinished(path);
    return deleted;
}

bool platform_real_path(const char* path, char* real, uint32_t size) {
    return backend_of(path).real_path(path, real, size);
}

void platform_shown_path(const char* path, char* shown, uint32_t size) {
    backend_of(path).shown_path(path, shown, size);
}
