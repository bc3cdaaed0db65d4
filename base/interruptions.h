// Interruptions of the Linux program: SIGINT, SIGTERM and SIGHUP, and the
// same ends found on the main path (Ctrl-C read as a key, a terminal that
// has gone away).
//
// The handler only records the signal: it starts, waits for, deletes and
// syncs nothing.  It is installed without SA_RESTART, so that a wait for a
// key or an answer returns (EINTR) when a signal comes.  The main path acts
// on a recorded signal in interruptions_check, which the program calls
// after each file call of a run (so after each mtools command has
// returned, and between the reads and writes of an edit) and wherever it
// waits for input (in interruptions_wait_for_input, which also acts on one
// that came just before the wait).  A signal that comes while the main path
// waits for a tool (waitpid) is thus acted on as soon as the tool has
// returned.
//
// What acting on it does: the program's end function, which deletes every
// unfinished file (one noted below and neither renamed into place nor
// deleted since) through its deleter (for a file in a disk image, mdel,
// with the image's journal), says which files the run changed
// (interruptions_changed_files), gives the terminal back, and ends the
// process with status 128 + the signal.  So an interrupted run leaves each
// file holding its old text or its new one, and no out.inf; the lock of the
// run goes with the process.
//
// When it is held back: while any hold is in force (interruptions_hold up
// to the matching interruptions_let_through; holds nest).  The signal stays
// recorded, and the last interruptions_let_through acts on it.  Holds are
// in force between platform_swap_begins and platform_swap_ends, so that the
// renames of a swap always run to their end, and while a change is made
// inside a disk image, so that no file of the image is ever left half
// written.
#ifndef TAMRIX_BASE_INTERRUPTIONS_H
#define TAMRIX_BASE_INTERRUPTIONS_H

#include <string>

// Catches SIGINT, SIGTERM and SIGHUP.  `end` is the program's way out for
// a recorded signal, called on the main path with its number; it does not
// return.  Called once, first thing.
void interruptions_catch(void (*end)(int signal_number));

// Acts on a recorded signal, unless a hold is in force or the program is
// already ending.
void interruptions_check();

// Waits until `fd` has input to read (or has reached its end), acting on a
// signal recorded before or during the wait: one that comes just before
// the wait begins ends the program as surely as one during it.  Another
// signal (a change of the terminal's size; a recorded one held back) ends
// the wait too, with input_other_signal: the caller looks at what it
// brought, then waits again.
enum input_wait { input_ready, input_other_signal, input_wait_failed };
input_wait interruptions_wait_for_input(int fd);

void interruptions_hold();
void interruptions_let_through();

// Deletes a file, on the main path: `name` as the deleter takes it.
typedef void (*deleter)(const char* name);
// `name` is being written by this run and not yet in place: an
// interruption deletes it with `remove`.  Noted before the file is
// created, since an interruption may come at once.
void interruptions_note_unfinished(const char* name, deleter remove);
// `name` has been renamed into place or deleted: nothing to delete.  True
// when it was noted unfinished.
bool interruptions_forget_unfinished(const char* name);
// The run has ended: none of its files is unfinished any more.
void interruptions_forget_all();

// `shown` (a path as messages show it) now holds a new text of this run's.
void interruptions_note_changed(const char* shown);
// The files noted changed, as "A, B"; empty when none.
std::string interruptions_changed_files();

// Deletes the unfinished files; from then on the program is ending, and
// interruptions_check does nothing.
void interruptions_delete_unfinished();

#endif
