// Files of an offline Windows folder, seen from Linux.
//
// Windows paths use backslashes and ignore the case of names; a Windows
// folder copied to a Linux disk keeps its names as they were (INF,
// MACHINE.INF).  So each path is turned into a Linux one here: backslashes
// become slashes, and every name that does not exist as written is looked up
// in its folder without regard to ASCII case.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "posix_files.h"
#include "../../base/fd_io.h"
#include "../../base/split_at.h"

// Reading a file or a folder does not change its access time where the
// system lets us say so: a look that changes nothing leaves no trace.
static int open_untouched(const char* path, int flags) {
    int fd = open(path, flags | O_NOATIME | O_CLOEXEC);
    if (fd < 0 && errno == EPERM) fd = open(path, flags | O_CLOEXEC);
    return fd;
}

static DIR* open_folder(const char* path) {
    int fd = open_untouched(path, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return nullptr;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) close(fd);
    return dir;
}

// The Linux path of a Windows path, each name matched as Windows would.
static std::string linux_path(const char* windows_path) {
    std::string wanted(windows_path);
    for (char& c : wanted)
        if (c == '\\') c = '/';
    std::string resolved;
    size_t start = 0;
    if (!wanted.empty() && wanted[0] == '/') {
        resolved = "/";
        start = 1;
    }
    std::vector<std::string> names = split_at(wanted.substr(start), '/');
    for (size_t i = 0; i < names.size(); i++) {
        const std::string& name = names[i];
        if (name.empty()) continue;
        std::string candidate = resolved + name;
        struct stat info;
        if (lstat(candidate.c_str(), &info) != 0) {
            DIR* dir = open_folder(resolved.empty() ? "." : resolved.c_str());
            if (dir != nullptr) {
                while (dirent* entry = readdir(dir)) {
                    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
                        candidate = resolved + entry->d_name;
                        break;
                    }
                }
                closedir(dir);
            }
        }
        resolved = candidate;
        if (i + 1 < names.size()) resolved += "/";
    }
    return resolved;
}

// A name that is there but leads nowhere, as a link to a missing file.
static bool dangling(const std::string& name) {
    struct stat info;
    return lstat(name.c_str(), &info) == 0;
}

static open_status folder_open_read(const char* path, platform_file* file) {
    std::string name = linux_path(path);
    int fd = open_untouched(name.c_str(), O_RDONLY);
    if (fd < 0) {
        bool missing = (errno == ENOENT || errno == ENOTDIR) && !dangling(name);
        return missing ? open_missing : open_refused;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return open_refused;  // a folder or a device is no INF file
    }
    *file = fd;
    return open_ok;
}

static bool folder_open_write(const char* path, platform_file* file) {
    std::string name = linux_path(path);
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    *file = fd;
    return true;
}

static int32_t folder_read(platform_file file, char* buffer, uint32_t size) {
    return read_some((int)file, buffer, size);
}

static bool folder_write(platform_file file, const char* data, uint32_t size) {
    return write_all((int)file, data, size);
}

static bool folder_seek(platform_file file, uint32_t offset) {
    return lseek((int)file, (off_t)offset, SEEK_SET) == (off_t)offset;
}

static bool folder_flush(platform_file file) { return fsync((int)file) == 0; }

static bool folder_close(platform_file file) { return close((int)file) == 0; }

static bool folder_rename(const char* from, const char* to) {
    std::string source = linux_path(from);
    std::string target = linux_path(to);
    struct stat info;
    if (lstat(target.c_str(), &info) == 0) return false;
    // A hard link cannot replace a name; where the file system has none
    // (FAT), the check above has to do.
    if (link(source.c_str(), target.c_str()) == 0) return unlink(source.c_str()) == 0;
    if (errno == EEXIST || errno == ENOENT) return false;
    return rename(source.c_str(), target.c_str()) == 0;
}

static bool folder_delete(const char* path) { return unlink(linux_path(path).c_str()) == 0; }

// The file's own name, after the last separator of either kind.
static size_t name_start(const std::string& path) {
    size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? 0 : separator + 1;
}

static bool folder_real_path(const char* path, char* real, uint32_t size) {
    std::string name = linux_path(path);
    struct stat info;
    char resolved[PATH_MAX];
    std::string result = path;
    if (lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (realpath(name.c_str(), resolved) != nullptr) result = resolved;
    } else {
        // The name as it is on disk (MACHINE.INF for machine.inf), so that
        // the new text takes the old one's name.
        result = result.substr(0, name_start(result)) + name.substr(name_start(name));
    }
    return (uint32_t)snprintf(real, size, "%s", result.c_str()) < size;
}

static void folder_shown_path(const char* path, char* shown, uint32_t size) {
    snprintf(shown, size, "%s", path[0] != '\0' ? linux_path(path).c_str() : "");
}

const file_backend folder_file_backend = {
    folder_open_read, folder_open_write, folder_read, folder_write, folder_seek, folder_flush,
    folder_close, folder_rename, folder_delete, folder_real_path, folder_shown_path,
};

std::string posix_linux_path(const char* path) { return linux_path(path); }

int posix_lock_folder(const char* path) {
    int fd = open_untouched(linux_path(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return kNoLock;  // no folder: nothing to change there
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    int error = errno;
    close(fd);
    return error == EWOULDBLOCK ? kFolderBusy : kNoLock;
}

void posix_unlock_folder(int lock) {
    if (lock >= 0) close(lock);
}
