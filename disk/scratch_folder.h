// Scratch room of the Linux program, outside the Windows folder and the
// image: the export's mount point and log, the texts a dry run compares,
// the copies mtools reads and writes.  It lives beside two of its three
// users; the dry run (linux/) reaches it from above.
//
// A run's scratch folder is "tamrix-PURPOSE.PID" (PID its process id) in
// $XDG_RUNTIME_DIR where the user's session has one, else in $TMPDIR, else
// in /tmp.  Named with the process id, a folder that a killed run (SIGKILL)
// could not remove is found by the next run, whatever it does (every run
// sweeps them as it starts, and a run that makes one sweeps again), which
// removes it once the run's process has gone; one of another user is never
// touched.  (A process id that a later process took keeps its folder until
// that process has gone too.)
#ifndef TAMRIX_DISK_SCRATCH_FOLDER_H
#define TAMRIX_DISK_SCRATCH_FOLDER_H

#include <string>

// Readies `folder` for removal (the export unmounts its mount point); false
// when it must stay, with something still mounted in it.
typedef bool (*scratch_release)(const std::string& folder);

// Where the scratch folders are.
std::string scratch_parent();

// Why no scratch folder could be made for `what` ("the export of X"), and
// what the user can do about it, which is never to convert the image:
// "Can't make a scratch folder for ... in P: REASON; nothing was changed.
// ..."  Call right after scratch_folder_make failed, with its errno.
std::string scratch_folder_refusal(const std::string& what);

// Removes the folders of ended runs of `purpose`, each readied by `release`
// where given (this process's own id included, as below).
void scratch_folders_sweep(const char* purpose, scratch_release release = nullptr);

// Removes the folders of ended runs of `purpose` (this process's own id
// included: a folder of an earlier process that had it), then makes this
// run's; "" with errno when it cannot.
std::string scratch_folder_make(const char* purpose, scratch_release release = nullptr);

// Removes a scratch folder and what it holds, unless `release` says it
// must stay: false then, or when the removal failed.
bool scratch_folder_remove(const std::string& folder, scratch_release release = nullptr);

// A scratch file that no name holds, in $TMPDIR (else /tmp): it goes with
// its descriptor.  -1 when there is none.
int scratch_file();

#endif
