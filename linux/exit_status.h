// The exit statuses of the Linux program, as `tamrix --help` lists them.
#ifndef TAMRIX_LINUX_EXIT_STATUS_H
#define TAMRIX_LINUX_EXIT_STATUS_H

enum exit_status {
    // Every file asked for ended as asked (changed, or already so); for
    // status, every file is fully installed.
    exit_done = 0,
    // An INF file is missing or could not be created; or the disk image
    // cannot be used (no image Tamrix can change, read-only, no Windows
    // folder found in it).  The dialog ends so when a run ended the program.
    exit_missing = 1,
    // A wrong command line, or the dialog asked for without a terminal.
    exit_usage = 2,
    // A read, write or rename error or a path too long left a file
    // unchanged (or the dry run's diff failed); for status, a file is not,
    // or only partly, installed.
    exit_unchanged = 3,
    // Another Tamrix is changing the same folder, or another program (a
    // virtual machine) has the disk image open; nothing was done.
    exit_held_elsewhere = 4,
    // The start-up warning (not Windows 95) was answered No, by --no, on
    // the terminal, or for want of one; nothing was done.
    exit_declined = 5,
    // For status: installed as far as the file allows.  Every line Install
    // can place is there, and the file has no place for the others (a
    // Windows 98 machine.inf, whose chipset sections are in machine2.inf).
    exit_as_far_as_allowed = 6,
    // Ended by signal N (SIGINT, SIGTERM, SIGHUP, or their like found on
    // the main path): 128 + N, as the shell reports a process killed by it
    // (base/interruptions.h ends the process so).
    exit_interrupted = 128,
};

#endif
