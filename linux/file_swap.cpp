// Swaps by renaming and their repair after a crash (see file_swap.h).
#include "file_swap.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "../disk/image_files.h"
#include "../platform/platform.h"
#include "../platform/posix/posix_files.h"

namespace {

bool exists(const std::string& path) {
    platform_file file;
    open_status status = platform_open_read(path.c_str(), &file);
    if (status == open_ok) platform_close(file);
    return status != open_missing;
}

}  // namespace

bool one_rename_replaces(const char* path) { return !is_image_path(path); }

bool rename_over(const char* from, const char* to) {
    if (!one_rename_replaces(from) || !one_rename_replaces(to)) return false;
    std::string target = posix_linux_path(to);
    if (rename(posix_linux_path(from).c_str(), target.c_str()) != 0) return false;
    size_t slash = target.find_last_of('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0                ? "/"
                                                     : target.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool flushed = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) close(fd);
    return flushed;
}

bool swap_cut_off(const std::string& target, const std::string& backup) {
    return !exists(target) && exists(backup);
}

put_back_outcome put_back_cut_off_swap(const std::string& target, const std::string& backup,
                                       const std::string& written,
                                       bool (*accepts_new)(const std::string& backup,
                                                           const std::string& written)) {
    if (!swap_cut_off(target, backup)) return swap_not_cut_off;
    bool take_new = !written.empty() && accepts_new != nullptr && exists(written) &&
                    accepts_new(backup, written);
    platform_swap_begins();
    bool renamed = platform_rename((take_new ? written : backup).c_str(), target.c_str());
    platform_swap_ends();
    if (!renamed) return put_back_failed;
    return take_new ? put_back_new : put_back_old;
}
