// The files of a Linux folder, for the seam: Windows paths are turned into
// Linux ones (backslashes become slashes, and each name is matched without
// regard to case).  The seam's file calls go to this table unless another
// is installed (platform/file_backend.h); the tests' scripted backend, the
// benchmark and the Linux program's runs wrap it.
#ifndef TAMRIX_PLATFORM_POSIX_POSIX_FILES_H
#define TAMRIX_PLATFORM_POSIX_POSIX_FILES_H

#include <string>

#include "../file_backend.h"

// A Linux folder's files, as a table of the seam's file functions.
extern const file_backend folder_file_backend;
// The Linux path a Windows path names, as every function of the table
// resolves it (as given, where it cannot be resolved: for messages).
std::string posix_linux_path(const char* path);

// From now on a link under `folder` (the Windows folder) is followed only
// where it stays inside it; a path that leads out is refused by every
// call, and kept for posix_take_refused_link.  A folder that is not there
// confines nothing.
void posix_keep_links_inside(const char* folder);
// The last path refused for leading out, and where it leads; taking it
// forgets it.
bool posix_take_refused_link(std::string* link, std::string* target);

// An exclusive lock on a folder, held by an open descriptor until
// posix_unlock_folder (or the end of the process): no file is left behind.
// Gives the lock, kNoLock where there is no such folder (nothing to keep
// apart), or kFolderBusy when another process holds it.
const int kNoLock = -1;
const int kFolderBusy = -2;
int posix_lock_folder(const char* path);
void posix_unlock_folder(int lock);

#endif
