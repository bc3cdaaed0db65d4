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
// resolves it.
std::string posix_linux_path(const char* path);

// An exclusive lock on a folder, held by an open descriptor until
// posix_unlock_folder (or the end of the process): no file is left behind.
// Gives the lock, kNoLock where there is no such folder (nothing to keep
// apart), or kFolderBusy when another process holds it.
const int kNoLock = -1;
const int kFolderBusy = -2;
int posix_lock_folder(const char* path);
void posix_unlock_folder(int lock);

#endif
