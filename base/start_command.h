// Starting a child: the one way the Linux program does it, for mtools, the
// QEMU tools, fusermount3 and diff (start_command), and for the one child
// that runs a function of ours instead of a program, the watcher of the
// export's daemon (start_async).  Always fork and execve,
// never a shell, so that no word of a path or an option is read by one.
// All signals are blocked from before the fork to the child's execve, so
// that no handler of ours runs in the child (it would record an
// interruption in a copy of this process).  What differs from child to
// child is named in child_command, and each caller says why it picks what
// it picks.
#ifndef TAMRIX_BASE_START_COMMAND_H
#define TAMRIX_BASE_START_COMMAND_H

#include <sys/types.h>

#include <string>
#include <vector>

// The child's signals once it runs.
enum child_signals {
    signals_as_new,         // none blocked, SIGPIPE ends it: as a shell starts a program
    interruptions_blocked,  // SIGINT, SIGTERM, SIGHUP, SIGQUIT blocked for good; others as ours
};

// Where a standard stream of the child goes: one of our descriptors, or
const int kChildNull = -1;      // /dev/null
const int kChildInherits = -2;  // the same as ours
const int kChildAsOutput = -3;  // (errors only) where its output goes

struct child_command {
    std::vector<std::string> words;  // its arguments, the first the name it is started as
    std::string program;  // the file run: "" for the first word, on $PATH where it has no '/'
    const std::vector<std::string>* environment = nullptr;  // "NAME=value"; ours when null
    bool own_process_group = false;  // Ctrl-C in the terminal does not reach it
    bool dies_with_us = false;  // SIGTERM when we end, even by SIGKILL (PR_SET_PDEATHSIG)
    child_signals signals = signals_as_new;
    int in = kChildNull, out = kChildNull, err = kChildNull;
    int keep_open = -1;  // one of our close-on-exec descriptors that the child keeps
};

// The child's process id, or -1 when it could not be started (its program
// not found, or fork failing).
pid_t start_command(const child_command& command);

// Forks a child that runs `body(argument)` and then _exit(0)s, with every
// signal blocked for good (no handler of ours runs in it, and SIGINT,
// SIGTERM, SIGHUP and SIGPIPE do nothing to it).  Its process id, or -1
// when fork failed.
pid_t start_async(void (*body)(void* argument), void* argument);

// Starts `command`, reads its output into `captured` where not null, and
// waits for it: its exit status, or -1 when it did not start, a signal
// ended it, or its output could not be read to its end.
int run_command(child_command command, std::string* captured = nullptr);

// Waits up to `milliseconds` for `child` to end: its wait status, or -1
// while it still runs.
int reaped(pid_t child, int milliseconds);

// The path of the program `name` in $PATH (/usr/bin:/bin when unset), or
// "" when there is none.
std::string program_on_path(const char* name);

#endif
