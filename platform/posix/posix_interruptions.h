// Interruptions of the Linux program: SIGINT, SIGTERM and SIGHUP, and the
// same ends found on the main path (Ctrl-C read as a key, a terminal that
// has gone away).
//
// What an interruption does: it deletes every unfinished file (one noted
// below and neither renamed into place nor deleted since), calls the
// program's give-back function, and ends the process with status 128 + the
// signal.  So an interrupted run leaves the folder (or the image) holding
// what it held before the run, or the finished result of a swap, and no
// out.inf; the lock of the run goes with the process.
//
// When it is held back: while any hold is in force (interruptions_hold up
// to the matching interruptions_let_through; holds nest).  The signal is
// then remembered, and acted on when the last hold ends.  Holds are in
// force between platform_swap_begins and platform_swap_ends, so that the
// renames of a swap always run to their end, and while a change is made
// inside a disk image, so that no file of the image is ever left half
// written.
//
// The handler does only what a signal handler may: unlink, fork and execve
// (mdel in an image), _exit.  The list of unfinished files is changed with
// every signal blocked, so the handler never sees it half changed.
#ifndef TAMRIX_PLATFORM_POSIX_POSIX_INTERRUPTIONS_H
#define TAMRIX_PLATFORM_POSIX_POSIX_INTERRUPTIONS_H

// Catches SIGINT, SIGTERM and SIGHUP.  `give_back` is called from the
// handler just before the process ends, so it may do only what a signal
// handler may (put the terminal back); null for nothing.  Called once,
// first thing.
void interruptions_catch(void (*give_back)());

void interruptions_hold();
void interruptions_let_through();

// Deletes a file from the signal handler: `name` as the deleter takes it.
typedef void (*deleter)(const char* name);
// `name` is being written by this run and not yet in place: an
// interruption deletes it with `remove`.  Noted before the file is
// created, since an interruption may come at once.  At most four at a
// time; more are not deleted.
void interruptions_note_unfinished(const char* name, deleter remove);
// `name` has been renamed into place or deleted: nothing to delete.
void interruptions_forget_unfinished(const char* name);
// The run has ended: none of its files is unfinished any more.
void interruptions_forget_all();

// From the main path, for an interruption found there: deletes the
// unfinished files.  The caller then ends the process with 128 + signal.
void interruptions_delete_unfinished();

#endif
