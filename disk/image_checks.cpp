// The checks before an image is changed (see image_checks.h).
#include "image_checks.h"
#include "../base/sizes.h"
#include "refusal_words.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {


std::string bytes(uint64_t count) { return std::to_string(count) + " bytes"; }

}  // namespace

std::string extent_problem(const volume_extent& extent, const std::string& shown) {
    std::string disk = extent.vhd ? "the VHD's disk holds " + bytes(extent.disk_bytes) +
                                        " (the file less its 512-byte footer)"
                                  : "the image holds " + bytes(extent.disk_bytes);
    const std::string nothing = nothing_changed("; the image may have been cut short");
    if (extent.partition == 0) {
        if (extent.volume_bytes <= extent.disk_bytes) return "";
        return "The FAT volume of " + shown + " is longer than the image: its boot sector claims " +
               bytes(extent.volume_bytes) + ", " + disk + nothing;
    }
    std::string partition = "partition " + std::to_string(extent.partition) + " of " + shown;
    uint64_t start = extent.partition_start * kSector;
    uint64_t end = start + extent.partition_sectors * kSector;
    if (end > extent.disk_bytes)
        return "Partition " + std::to_string(extent.partition) + " of " + shown +
               " is longer than its disk: the partition table puts its end at byte " +
               std::to_string(end) + ", " + disk + nothing;
    if (extent.volume_bytes > extent.partition_sectors * kSector)
        return nothing_changed("The FAT volume in " + partition +
                               " is longer than the partition: its boot sector claims " +
                               bytes(extent.volume_bytes) + ", the partition table gives it " +
                               bytes(extent.partition_sectors * kSector));
    return "";
}

bool host_room(int fd, uint64_t* available) {
    struct statvfs info;
    if (fstatvfs(fd, &info) != 0) return false;
    *available = (uint64_t)info.f_bavail * info.f_frsize;
    return true;
}

std::string mount_point_of(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return "/";
    std::string folder = real;
    free(real);
    struct stat here, above;
    if (stat(folder.c_str(), &here) != 0) return "/";
    while (folder != "/") {
        size_t slash = folder.find_last_of('/');
        std::string parent = slash == 0 ? "/" : folder.substr(0, slash);
        if (stat(parent.c_str(), &above) != 0 || above.st_dev != here.st_dev) break;
        folder = parent;
    }
    return folder;
}
