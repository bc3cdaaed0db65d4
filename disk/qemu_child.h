// The QEMU tools this program starts (qemu-storage-daemon, qemu-img) and
// fusermount3, and the values they are given.
#ifndef TAMRIX_DISK_QEMU_CHILD_H
#define TAMRIX_DISK_QEMU_CHILD_H

#include <string>
#include <vector>

#include "../platform/posix/start_command.h"

// `words` (the program's path first) as a child of ours, its output on
// `out` and its errors on `err` (kChildNull for /dev/null), standard input
// /dev/null:
//   - a process group of its own, so that Ctrl-C in the terminal reaches
//     this program only, which ends the daemon itself once the run's
//     changes are written;
//   - SIGTERM when this program dies, even by SIGKILL: a daemon left
//     running would hold the image and its mount;
//   - signals as a new program has them, so that SIGTERM ends the daemon
//     as QEMU intends (writing out what it holds).
child_command qemu_tool(const std::vector<std::string>& words, int out, int err);

// Whether QEMU, in `said`, refused an image another program holds locked.
bool is_lock_refusal(const std::string& said);

// A value in QEMU's option syntax: a comma is written twice.
std::string qemu_option_value(const std::string& value);

#endif
