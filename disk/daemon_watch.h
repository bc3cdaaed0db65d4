// A watcher that ends the export's qemu-storage-daemon when this program
// dies, however it dies.  The daemon is told to end by SIGTERM when we die
// (PR_SET_PDEATHSIG, qemu_child.h), but QEMU sometimes loses that one
// signal: its handler sets a flag just before the main loop enters poll()
// with no timeout, and the daemon then sits idle, its FUSE mount still
// there.  A second SIGTERM ends it at once.
//
// So the watcher, a forked child in a process group of its own with every
// signal blocked (SIGINT, SIGTERM, SIGHUP and SIGPIPE do nothing to it),
// blocks reading a pipe whose only write end this program holds
// (close-on-exec, so no other child keeps it).  EOF comes when this
// program ends without standing it down, killed or not: then, while the
// daemon lives, it sends SIGTERM every 200 ms for up to 3 s, then SIGKILL;
// unmounts the mount point if it is still mounted; removes the scratch
// folder if it holds nothing but the export's own files (else the next
// run's sweep does); and exits.  The daemon is our child, not the
// watcher's, so before each signal the watcher checks that the process id
// still names qemu-storage-daemon with this run's scratch folder.
#ifndef TAMRIX_DISK_DAEMON_WATCH_H
#define TAMRIX_DISK_DAEMON_WATCH_H

#include <sys/types.h>

#include <string>

#include "scratch_folder.h"

struct daemon_watch {
    pid_t watcher = -1;
    int write_end = -1;  // the pipe's, held while we live
};

// Starts watching `daemon`, whose export lives in `folder`; `release`
// unmounts what is still mounted there (scratch_folder.h).  A watch whose
// watcher is -1 when it could not be started (the daemon's PR_SET_PDEATHSIG
// is then all there is).
daemon_watch daemon_watch_start(pid_t daemon, const std::string& folder,
                                scratch_release release);

// Stands the watcher down once this program has ended the daemon itself,
// and reaps it: nothing of it is left.
void daemon_watch_end(daemon_watch* watch);

#endif
