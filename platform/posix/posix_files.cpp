// Files of an offline Windows folder, seen from Linux.
//
// Windows paths use backslashes and ignore the case of names; a Windows
// folder copied to a Linux disk keeps its names as they were (INF,
// MACHINE.INF).  So each path is turned into a Linux one here: backslashes
// become slashes, and every name that does not exist as written is looked up
// in its folder without regard to ASCII case.  A name is missing only when
// its folder was read whole and holds no such name: a folder that cannot be
// opened or read fails the call, so that nothing is ever created over a
// file that was only hidden from view.
//
// Writing never goes through a name this process did not create: a file
// under the name is unlinked first and the new one made with O_EXCL, so a
// second link of an old file (out.inf left as a link of machine.inf) is
// never emptied.  A rename that may not replace a name is one step
// (renameat2 with RENAME_NOREPLACE); only where the file system refuses
// that flag is it a link and an unlink, and a pair cut off between the two
// is finished by the next rename of the same names (see folder_rename).
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/msdos_fs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "posix_files.h"
#include "../../base/fd_io.h"
#include "../../base/split_at.h"

namespace {

// The Windows folder, as its Linux path and as its real path (after every
// link): no link under it may lead out of it ("" until the front end
// names it).
std::string windows_folder, windows_folder_real;
// The last link that was refused because it led out, and where to.
std::string refused_link, refused_target;

// Reading a file or a folder does not change its access time where the
// system lets us say so: a look that changes nothing leaves no trace.
int open_untouched(const char* path, int flags) {
    int fd = open(path, flags | O_NOATIME | O_CLOEXEC);
    if (fd < 0 && errno == EPERM) fd = open(path, flags | O_CLOEXEC);
    return fd;
}

DIR* open_folder(const char* path) {
    int fd = open_untouched(path, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return nullptr;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) close(fd);
    return dir;
}

// The name in `folder` that matches `name` without regard to case, into
// `found`; `found` stays as it is where there is none.  False (errno set)
// when the folder is there but could not be read whole.
bool match_in_folder(const std::string& folder, const std::string& name, std::string* found) {
    DIR* dir = open_folder(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return errno == ENOENT || errno == ENOTDIR;  // no folder: no name
    for (;;) {
        errno = 0;
        dirent* entry = readdir(dir);
        if (entry == nullptr) break;
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            *found = folder + entry->d_name;
            break;
        }
    }
    int error = errno;
    closedir(dir);
    errno = error;
    return error == 0;
}

// Whether `path` is `folder` or lies under it.
bool within(const std::string& path, const std::string& folder) {
    return path == folder || (path.size() > folder.size() && path[folder.size()] == '/' &&
                              path.compare(0, folder.size(), folder) == 0) ||
           folder == "/";
}

// The folder that holds `path`: "." for a bare name, "/" at the root.
std::string folder_of(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Where a path under the Windows folder leads in the end: the file or
// folder itself (realpath), or for a name not there yet its folder's real
// path and the name.  "" where nothing of it is there.
std::string leads_to(const std::string& path) {
    char real[PATH_MAX];
    if (realpath(path.c_str(), real) != nullptr) return real;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0) return "";  // a link to nothing: nothing is reached
    if (realpath(folder_of(path).c_str(), real) == nullptr) return "";
    size_t slash = path.find_last_of('/');
    return std::string(real) + "/" + path.substr(slash == std::string::npos ? 0 : slash + 1);
}

// The Linux path of a Windows path, each name matched as Windows would,
// into `resolved`.  Under the Windows folder, where a link leads, once and
// for all: a path that leads out of that folder is refused (EXDEV, kept in
// refused_link).  False, with errno, where a folder on the way could not be
// read or the path is refused.
bool linux_path(const char* windows_path, std::string* resolved, bool* followed = nullptr) {
    std::string wanted(windows_path);
    for (char& c : wanted)
        if (c == '\\') c = '/';
    std::string path;
    size_t start = 0;
    if (!wanted.empty() && wanted[0] == '/') {
        path = "/";
        start = 1;
    }
    std::vector<std::string> names = split_at(wanted.substr(start), '/');
    for (size_t i = 0; i < names.size(); i++) {
        const std::string& name = names[i];
        if (name.empty()) continue;
        std::string candidate = path + name;
        struct stat info;
        if (lstat(candidate.c_str(), &info) != 0) {
            if (errno != ENOENT && errno != ENOTDIR) return false;
            if (errno == ENOENT && !match_in_folder(path, name, &candidate)) return false;
        }
        path = candidate;
        if (i + 1 < names.size()) path += "/";
    }
    *resolved = path;
    if (windows_folder.empty() || !within(path, windows_folder)) return true;
    std::string target = leads_to(path);
    std::string unlinked = windows_folder_real + path.substr(windows_folder.size());
    if (target.empty() || target == unlinked) return true;
    if (within(target, windows_folder_real)) {
        *resolved = target;
        if (followed != nullptr) *followed = true;
        return true;
    }
    refused_link = path;
    refused_target = target;
    errno = EXDEV;
    return false;
}

// The path, or the one as written where a folder on the way could not be
// read; a refused link as it is named (for a message only).
std::string linux_path_or_given(const char* path) {
    std::string name;
    linux_path(path, &name);
    return name.empty() ? std::string(path) : name;
}

// Forces a rename in the folder of `path` onto the disk.  Its result is
// not the rename's: the rename is made, and every later call sees it; a
// crash before the folder reaches the disk can only bring back the name's
// old file, which the swap has already flushed whole.  Telling the user
// that the rename failed would be untrue.
void flush_folder_of(const std::string& path) {
    int fd = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// A name that is there but leads nowhere, as a link to a missing file.
bool dangling(const std::string& name) {
    struct stat info;
    return lstat(name.c_str(), &info) == 0;
}

bool same_inode(const std::string& first, const std::string& second) {
    struct stat one, other;
    return stat(first.c_str(), &one) == 0 && stat(second.c_str(), &other) == 0 &&
           one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

open_status folder_open_read(const char* path, platform_file* file) {
    std::string name;
    if (!linux_path(path, &name)) return open_refused;
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

bool folder_open_write(const char* path, platform_file* file, write_mode mode) {
    std::string name;
    if (!linux_path(path, &name)) return false;
    if (mode == write_anew && unlink(name.c_str()) != 0 && errno != ENOENT) return false;
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    *file = fd;
    return true;
}

int32_t folder_read(platform_file file, char* buffer, uint32_t size) {
    return read_some((int)file, buffer, size);
}

bool folder_write(platform_file file, const char* data, uint32_t size) {
    return write_all((int)file, data, size);
}

// copy_file_range, which writes at the file position of `to` and moves it
// on.  A file system or kernel without it refuses the first call: only then
// is the copy not offered.
copy_status folder_copy(platform_file from, uint32_t offset, platform_file to, uint32_t size) {
    off_t from_offset = (off_t)offset;
    for (uint32_t copied = 0; copied < size;) {
        ssize_t count = copy_file_range((int)from, &from_offset, (int)to, nullptr, size - copied, 0);
        if (count < 0 && errno == EINTR) continue;
        bool refused = count < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                                     errno == EINVAL);
        if (count <= 0) return copied == 0 && refused ? copy_not_offered : copy_failed;
        copied += (uint32_t)count;
    }
    return copy_done;
}

bool folder_seek(platform_file file, uint32_t offset) {
    return lseek((int)file, (off_t)offset, SEEK_SET) == (off_t)offset;
}

bool folder_flush(platform_file file) { return fsync((int)file) == 0; }

bool folder_close(platform_file file) { return close((int)file) == 0; }

// The rename that never replaces a name, in one step.  Where the file
// system refuses RENAME_NOREPLACE, a link and an unlink (a hard link cannot
// replace a name); where it has no links either (FAT), a look and a rename.
// A target that is already the same file as the source is a link-and-unlink
// cut off between the two: the rename is finished by unlinking the source
// name, and the file itself is never touched.
bool folder_rename(const char* from, const char* to) {
    std::string source, target;
    if (!linux_path(from, &source) || !linux_path(to, &target)) return false;
    bool renamed = renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(),
                             RENAME_NOREPLACE) == 0;
    if (!renamed && (errno == EINVAL || errno == ENOSYS)) {
        if (link(source.c_str(), target.c_str()) == 0) {
            renamed = unlink(source.c_str()) == 0;
        } else if (errno == EPERM || errno == EOPNOTSUPP) {
            struct stat info;
            renamed = lstat(target.c_str(), &info) != 0 && errno == ENOENT &&
                      rename(source.c_str(), target.c_str()) == 0;
        }
    }
    if (!renamed && errno == EEXIST && same_inode(source, target))
        renamed = unlink(source.c_str()) == 0;
    if (renamed) flush_folder_of(target);
    return renamed;
}

bool folder_delete(const char* path) {
    std::string name;
    return linux_path(path, &name) && unlink(name.c_str()) == 0;
}

// The file's own name, after the last separator of either kind.
size_t name_start(const std::string& path) {
    size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? 0 : separator + 1;
}

bool folder_real_path(const char* path, char* real, uint32_t size) {
    std::string name, result = path;
    bool followed = false;
    struct stat info;
    char resolved[PATH_MAX];
    if (!linux_path(path, &name, &followed)) {
        // Refused: the open that follows fails, and says why.
    } else if (followed) {
        result = name;  // a link under the Windows folder, to the file it names there
    } else if (lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (realpath(name.c_str(), resolved) != nullptr) result = resolved;
    } else {
        // The name as it is on disk (MACHINE.INF for machine.inf), so that
        // the new text takes the old one's name.
        result = result.substr(0, name_start(result)) + name.substr(name_start(name));
    }
    return (uint32_t)snprintf(real, size, "%s", result.c_str()) < size;
}

void folder_shown_path(const char* path, char* shown, uint32_t size) {
    snprintf(shown, size, "%s", path[0] != '\0' ? linux_path_or_given(path).c_str() : "");
}

bool folder_renames_over(const char*) { return true; }

bool folder_rename_over(const char* from, const char* to) {
    std::string source, target;
    if (!linux_path(from, &source) || !linux_path(to, &target) ||
        rename(source.c_str(), target.c_str()) != 0)
        return false;
    flush_folder_of(target);
    return true;
}

bool folder_same_file(const char* first, const char* second) {
    std::string one, other;
    return linux_path(first, &one) && linux_path(second, &other) && same_inode(one, other);
}

// Runs a vfat attribute call on the file: attributes_none where its file
// system has no such call (ENOTTY everywhere but FAT; some file systems of
// their own, FUSE ones among them, say so with another error).
attributes_read folder_ioctl(const char* path, unsigned long call, uint32_t* attributes) {
    std::string name;
    if (!linux_path(path, &name)) return attributes_failed;
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return attributes_failed;
    attributes_read read = attributes_kept;
    if (ioctl(fd, call, attributes) != 0)
        read = errno == ENOTTY || errno == EINVAL || errno == EOPNOTSUPP || errno == ENOSYS
                   ? attributes_none
                   : attributes_failed;
    close(fd);
    return read;
}

attributes_read folder_get_attributes(const char* path, uint32_t* attributes) {
    *attributes = 0;
    attributes_read read = folder_ioctl(path, FAT_IOCTL_GET_ATTRIBUTES, attributes);
    *attributes &= kDosKept;
    return read;
}

bool folder_set_attributes(const char* path, uint32_t attributes) {
    attributes &= kDosKept;
    return folder_ioctl(path, FAT_IOCTL_SET_ATTRIBUTES, &attributes) == attributes_kept;
}

// On FAT the DOS attributes are all a file carries (its mode and owner are
// the mount's); elsewhere its mode and owner.
bool folder_copy_attributes(const char* from, const char* to) {
    uint32_t attributes = 0;
    attributes_read read = folder_get_attributes(from, &attributes);
    if (read == attributes_kept) return folder_set_attributes(to, attributes);
    if (read == attributes_failed) return false;
    std::string source, target;
    struct stat old_file, new_file;
    if (!linux_path(from, &source) || !linux_path(to, &target) ||
        stat(source.c_str(), &old_file) != 0 || lstat(target.c_str(), &new_file) != 0)
        return false;
    if ((old_file.st_uid != new_file.st_uid || old_file.st_gid != new_file.st_gid) &&
        lchown(target.c_str(), old_file.st_uid, old_file.st_gid) != 0)
        return false;
    return (old_file.st_mode & 07777) == (new_file.st_mode & 07777) ||
           chmod(target.c_str(), old_file.st_mode & 07777) == 0;
}

void folder_keep(const char*) {}

}  // namespace

const file_backend folder_file_backend = {
    folder_open_read,       folder_open_write, folder_read,           folder_write,
    folder_copy,            folder_seek,       folder_flush,          folder_close,
    folder_rename,          folder_delete,     folder_real_path,      folder_shown_path,
    folder_renames_over,    folder_rename_over, folder_same_file,     folder_get_attributes,
    folder_set_attributes,  folder_copy_attributes, folder_keep,
};

std::string posix_linux_path(const char* path) { return linux_path_or_given(path); }

void posix_keep_links_inside(const char* folder) {
    char real[PATH_MAX];
    windows_folder.clear();  // the folder itself is looked up as before
    std::string name = linux_path_or_given(folder);
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    if (realpath(name.c_str(), real) == nullptr) return;  // no folder: nothing to keep inside
    windows_folder = name;
    windows_folder_real = real;
}

bool posix_take_refused_link(std::string* link, std::string* target) {
    if (refused_link.empty()) return false;
    *link = refused_link;
    *target = refused_target;
    refused_link.clear();
    return true;
}

int posix_lock_folder(const char* path) {
    int fd = open_untouched(linux_path_or_given(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return kNoLock;  // no folder: nothing to change there
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    int error = errno;
    close(fd);
    return error == EWOULDBLOCK ? kFolderBusy : kNoLock;
}

void posix_unlock_folder(int lock) {
    if (lock >= 0) close(lock);
}
