// A real disk as the image (see block_device.h).
#include "block_device.h"
#include "refusal_words.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <linux/fs.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <vector>

#include "../base/split_at.h"

namespace {

// The first line of a small file, without the blanks around it ("" where
// it cannot be read): sysfs gives one value per file.
std::string first_line(const std::string& path) {
    FILE* file = fopen(path.c_str(), "re");
    if (file == nullptr) return "";
    char line[4096] = "";
    if (fgets(line, sizeof line, file) == nullptr) line[0] = '\0';
    fclose(file);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    size_t start = text.find_first_not_of(' ');
    return start == std::string::npos ? "" : text.substr(start);
}

// The device's folder in sysfs, resolved ("/sys/devices/.../block/sdb/sdb1"), or "".
std::string sysfs_folder(dev_t device) {
    char link[64], real[PATH_MAX];
    snprintf(link, sizeof link, "/sys/dev/block/%u:%u", major(device), minor(device));
    return realpath(link, real) != nullptr ? real : "";
}

// A path of /proc/self/mountinfo, whose blanks and backslashes are written
// as octal escapes ("\040").
std::string unescaped(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); i++) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3') {
            text += (char)strtol(field.substr(i + 1, 3).c_str(), nullptr, 8);
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// Why the kernel refused `path` an exclusive open: where it, or one of its
// partitions, is mounted (the first such mount of /proc/self/mountinfo:
// "ID PARENT MAJ:MIN ROOT MOUNT-POINT ... - TYPE SOURCE OPTIONS").
std::string held_because(const std::string& path) {
    struct stat info;
    std::string ours = stat(path.c_str(), &info) == 0 ? sysfs_folder(info.st_rdev) : "";
    FILE* table = fopen("/proc/self/mountinfo", "re");
    char line[8192];
    while (!ours.empty() && table != nullptr && fgets(line, sizeof line, table) != nullptr) {
        std::vector<std::string> fields = split_at(std::string(line, strcspn(line, "\n")), ' ');
        unsigned major_number = 0, minor_number = 0;
        if (fields.size() < 5 || sscanf(fields[2].c_str(), "%u:%u", &major_number,
                                        &minor_number) != 2)
            continue;
        std::string mounted = sysfs_folder(makedev(major_number, minor_number));
        if (mounted != ours && mounted.compare(0, ours.size() + 1, ours + "/") != 0) continue;
        std::string source = path;
        for (size_t i = 5; i + 2 < fields.size(); i++)
            if (fields[i] == "-") source = unescaped(fields[i + 2]);
        fclose(table);
        return nothing_changed(source + " is mounted at " + unescaped(fields[4]) +
                               "; unmount it first");
    }
    if (table != nullptr) fclose(table);
    // Another Tamrix holds its flock (image_files.h) on it too; an open
    // without O_EXCL, which the kernel allows, finds it.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    bool tamrix = fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (fd >= 0) close(fd);
    if (tamrix)
        return held_by_another_tamrix(path);
    return nothing_changed(path + " is in use by another program (such as a RAID or LVM volume, "
                                  "or a virtual machine)");
}

// A size as people read it, and exactly.
std::string size_text(uint64_t bytes) {
    const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    double value = (double)bytes;
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        unit++;
    }
    char text[96];
    snprintf(text, sizeof text, "%.1f %s (%llu bytes)", value, units[unit],
             (unsigned long long)bytes);
    return text;
}

// The disk's name from its drivers in sysfs: vendor and model (SCSI, USB
// card readers, IDE), an MMC card's name, or a loop device's file.
std::string disk_name(const std::string& disk) {
    std::string backing = first_line(disk + "/loop/backing_file");
    if (!backing.empty()) return "a loop device over " + backing;
    std::string vendor = first_line(disk + "/device/vendor"),
                model = first_line(disk + "/device/model");
    if (model.empty()) model = first_line(disk + "/device/name");  // an MMC or SD card
    std::string name = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
    if (name.empty()) name = "a disk of unknown model";
    if (first_line(disk + "/removable") == "1") name += ", removable";
    return name;
}

}  // namespace

opened_device block_device_open(const std::string& path) {
    opened_device opened;
    const int kFlags = O_EXCL | O_CLOEXEC | O_NOCTTY;
    int fd = open(path.c_str(), O_RDWR | kFlags);
    int refused_writing = fd < 0 ? errno : 0;
    // The kernel opens a read-only device (a card's lock switch, a loop
    // device over a read-only file) for writing all the same, and fails
    // each write: it is asked (BLKROGET), and opened for reading alone.
    int read_only = 0;
    if (fd >= 0 && ioctl(fd, BLKROGET, &read_only) == 0 && read_only != 0) {
        close(fd);
        refused_writing = EROFS;
        fd = -1;
    }
    if (fd < 0 && refused_writing != EBUSY) fd = open(path.c_str(), O_RDONLY | kFlags);
    if (fd >= 0 && refused_writing != 0 && refused_writing != EROFS &&
        ioctl(fd, BLKROGET, &read_only) == 0 && read_only != 0)
        refused_writing = EROFS;
    if (fd >= 0) {
        // Above the descriptors a tool's standard streams are set up on.
        opened.fd = fcntl(fd, F_DUPFD_CLOEXEC, 10);
        close(fd);
        opened.how = refused_writing == 0 ? device_open : device_read_only;
        opened.write_protected = refused_writing == EROFS;
        if (opened.fd < 0) opened.how = device_not_opened;
        return opened;
    }
    if (errno == EBUSY) {
        opened.how = device_held;
        opened.why = held_because(path);
    } else if (errno == EACCES || errno == EPERM) {
        opened.why = nothing_changed("Can't open " + path + ": you may not read it") + "  " +
                     block_device_access_advice(path);
    } else {
        opened.why = nothing_changed("Can't open " + path + ": " + strerror(errno));
    }
    return opened;
}

uint64_t image_bytes(int fd) {
    struct stat info;
    if (fstat(fd, &info) != 0) return 0;
    uint64_t size = (uint64_t)info.st_size;
    if (S_ISBLK(info.st_mode) && ioctl(fd, BLKGETSIZE64, &size) != 0) size = 0;
    return size;
}

std::string block_device_description(int fd) {
    struct stat info;
    std::string folder = fstat(fd, &info) == 0 ? sysfs_folder(info.st_rdev) : "";
    std::string size = size_text(image_bytes(fd));
    if (folder.empty()) return size;
    std::string partition = first_line(folder + "/partition");
    if (partition.empty()) return disk_name(folder) + ", " + size;
    std::string disk = folder.substr(0, folder.find_last_of('/'));
    return "partition " + partition + " of " + disk.substr(disk.find_last_of('/') + 1) + " (" +
           disk_name(disk) + "), " + size;
}

std::string block_device_access_advice(const std::string& path) {
    struct stat info;
    struct group* group = stat(path.c_str(), &info) == 0 && (info.st_mode & 0060) == 0060
                              ? getgrgid(info.st_gid) : nullptr;
    struct passwd* user = getpwuid(geteuid());
    std::string join;
    if (group != nullptr && info.st_gid != 0)  // on Debian, the group disk
        join = "join the group " + std::string(group->gr_name) + ", which may (as root: adduser " +
               (user != nullptr ? user->pw_name : "USER") + " " + group->gr_name +
               ", then log in again), or ";
    return "Tamrix reads and writes the device itself: " + join +
           "have the desktop's rules for removable media (udev, udisks) give you the card "
           "reader, or run Tamrix as root.";
}
