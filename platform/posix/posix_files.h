// The file functions of the seam, as a Linux folder provides them: Windows
// paths are turned into Linux ones (backslashes become slashes, and each
// name is matched without regard to case).  Each does what its platform_
// namesake in platform/platform.h promises.  The Linux program's seam hands
// its file calls to these (posix_file_calls.cpp); the tests' scripted
// backend wraps them.
#ifndef TAMRIX_PLATFORM_POSIX_POSIX_FILES_H
#define TAMRIX_PLATFORM_POSIX_POSIX_FILES_H

#include <string>

#include "../platform.h"

open_status posix_open_read(const char* path, platform_file* file);
bool posix_open_write(const char* path, platform_file* file);
int32_t posix_read(platform_file file, char* buffer, uint32_t size);
bool posix_write(platform_file file, const char* data, uint32_t size);
bool posix_seek(platform_file file, uint32_t offset);
bool posix_flush(platform_file file);
bool posix_close(platform_file file);
bool posix_rename(const char* from, const char* to);
bool posix_delete(const char* path);
bool posix_real_path(const char* path, char* real, uint32_t size);
// The Linux path a Windows path names, as every function here resolves it.
std::string posix_linux_path(const char* path);
void posix_shown_path(const char* path, char* shown, uint32_t size);

// An exclusive lock on a folder, held by an open descriptor until
// posix_unlock_folder (or the end of the process): no file is left behind.
// Gives the lock, kNoLock where there is no such folder (nothing to keep
// apart), or kFolderBusy when another process holds it.
const int kNoLock = -1;
const int kFolderBusy = -2;
int posix_lock_folder(const char* path);
void posix_unlock_folder(int lock);

#endif
