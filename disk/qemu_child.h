// The QEMU tools this program starts (qemu-storage-daemon, qemu-img) and
// fusermount3, and the values they are given.
#ifndef TAMRIX_DISK_QEMU_CHILD_H
#define TAMRIX_DISK_QEMU_CHILD_H

#include <string>
#include <vector>

#include "../base/start_command.h"

// `words` (the program's path first) as a child, output on `out`, errors
// on `err`, input /dev/null.  A process group of its own: Ctrl-C in the
// terminal reaches this program only, which ends the daemon itself once
// the run's changes are written.  It dies with us, even by SIGKILL: a
// daemon left running would hold the image and its mount.  Signals as a
// new program has them: SIGTERM ends it as QEMU intends (writing out what
// it holds).
child_command qemu_tool(const std::vector<std::string>& words, int out, int err);

// Whether QEMU, in `said`, refused an image another program holds locked.
bool is_lock_refusal(const std::string& said);

// A value in QEMU's option syntax: a comma is written twice.
std::string qemu_option_value(const std::string& value);

#endif
