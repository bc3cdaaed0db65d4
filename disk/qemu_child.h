// The QEMU tools this program starts (qemu-storage-daemon, qemu-img) and
// fusermount3: each a child of its own that ends with this program.
#ifndef TAMRIX_PLATFORM_IMAGE_QEMU_CHILD_H
#define TAMRIX_PLATFORM_IMAGE_QEMU_CHILD_H

#include <sys/types.h>

#include <string>
#include <vector>

// Starts `words` (the program's path first) as our child, with no shell:
// a process group of its own, so that Ctrl-C in the terminal reaches this
// program only; SIGTERM when this program dies, even by SIGKILL
// (PR_SET_PDEATHSIG); signals as a new program has them; standard input
// /dev/null, its output on `out` and its errors on `err` (/dev/null where
// -1).  -1 when it could not be started.
pid_t start_child(const std::vector<std::string>& words, int out, int err);

// Waits up to `milliseconds` for `child` to end; its wait status, or -1
// while it still runs.
int reaped(pid_t child, int milliseconds);

void sleep_milliseconds(int milliseconds);

// A value in QEMU's option syntax: a comma is written twice.
std::string qemu_option_value(const std::string& value);

#endif
