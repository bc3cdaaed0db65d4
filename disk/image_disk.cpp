// Finding the FAT volume of a disk image (see image_disk.h).  Nothing but
// the boot sector's layout fields and the partition tables is read here;
// the file system itself is mtools' business.
#include "image_disk.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "block_device.h"
#include "convert_hint.h"
#include "fat_layout.h"
#include "image_checks.h"
#include "image_io.h"
#include "partition_table.h"
#include "../base/sizes.h"
#include "refusal_words.h"

namespace {

// A boot sector whose layout fields make sense for FAT12, FAT16 or FAT32.
bool is_fat_boot_sector(const unsigned char* s) {
    return (s[0] == 0xEB || s[0] == 0xE9) && s[16] <= 2 && s[21] >= 0xF0 &&
           read_fat_layout(s).valid;
}

image_volume failed(const std::string& error) {
    image_volume volume;
    volume.error = error;
    return volume;
}

// A partition or volume longer than what holds it: a damaged image.
image_volume cut_short(const std::string& problem) {
    image_volume volume = failed(problem);
    volume.damaged = true;
    return volume;
}

}  // namespace

std::string image_convert_hint(const std::string& shown, const char* qemu_name) {
    return "\nConvert it to a raw image, patch that, and use it (or convert it back):\n  " +
           convert_command(shown, qemu_name);
}

namespace {

// The refusal of an image that has to be converted first.
image_volume needs_converting(const std::string& shown, const image_format& format) {
    return failed(nothing_changed(shown + " is " + format.what +
                                  ", which Tamrix cannot change in place") +
                  image_convert_hint(shown, format.qemu_driver));
}

// The refusal of an image of a format, or a kind, that Tamrix does not change.
image_volume refused(const std::string& shown, const image_format& format) {
    return failed(nothing_changed(shown + " is " + format.what + ", " + format.refusal) +
                  (format.convertible ? image_convert_hint(shown, format.qemu_driver) : ""));
}

std::string partition_list(const std::vector<partition>& partitions) {
    std::string list;
    for (const partition& p : partitions) {
        if (!list.empty()) list += ", ";
        list += std::to_string(p.number) + " (" + partition_type_name(p.type) + ")";
    }
    return list;
}

// What a file that holds no image is, for the refusal.
const char* kind_of_file(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISDIR(mode)) return "a folder";
    return "no file";
}

}  // namespace

// The format of the image open as `fd`, from its first bytes and its end.
static image_format read_image_format(int fd) {
    std::vector<unsigned char> head(kFormatHeadBytes);
    unsigned char tail[kFormatTailBytes];
    uint64_t size = image_bytes(fd);
    size_t head_size = size < head.size() ? (size_t)size : head.size();
    bool has_tail = size >= sizeof tail && read_at(fd, size - sizeof tail, tail, sizeof tail);
    if (!read_at(fd, 0, head.data(), head_size)) head_size = 0;
    return name_image_format(head.data(), head_size, has_tail ? tail : nullptr);
}

image_session the_image;  // the run's image (image_session.h)

// Opens the block device `path` into `session` (see block_device.h).
static bool open_device(image_session* session, const std::string& path, std::string* error,
                        bool* held) {
    opened_device opened = block_device_open(path);
    *held = opened.how == device_held;
    if (opened.how == device_held || opened.how == device_not_opened) {
        *error = opened.why;
        return false;
    }
    session->device = true;
    session->fd = session->disk_fd = opened.fd;
    session->access = opened.how == device_open ? image_writable
                      : opened.write_protected  ? image_write_protected
                                                : image_not_yours;
    session->format = read_image_format(session->fd);
    return true;
}

bool image_session_open(image_session* session, const std::string& path, std::string* error,
                        bool* held) {
    session->shown = path;
    *held = false;
    struct stat info;
    bool opened = stat(path.c_str(), &info) == 0;
    if (opened && S_ISBLK(info.st_mode)) return open_device(session, path, error, held);
    if (opened && S_ISREG(info.st_mode)) {
        // Should the name hold a FIFO by now, these opens still return at
        // once, and the fstat below refuses it.  The open for writing is the
        // one test of whether this user may change it.
        const int kFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
        int fd = open(path.c_str(), O_RDWR | kFlags);
        session->access = fd >= 0         ? image_writable
                          : errno == EROFS ? image_on_read_only_fs
                                           : image_not_yours;
        if (fd < 0) fd = open(path.c_str(), O_RDONLY | kFlags);
        // Above the descriptors a tool's standard streams are set up on.
        if (fd >= 0) session->fd = fcntl(fd, F_DUPFD_CLOEXEC, 10);
        if (fd >= 0) close(fd);
        opened = session->fd >= 0;
    }
    if (!opened) {
        *error = cannot_open_image(path);
        return false;
    }
    if (session->fd < 0 || fstat(session->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = nothing_changed(path + " is " + kind_of_file(info.st_mode) + ", not a disk image");
        return false;
    }
    if ((info.st_mode & 0222) == 0) session->access = image_read_only;
    fcntl(session->fd, F_SETFL, fcntl(session->fd, F_GETFL) & ~O_NONBLOCK);
    session->format = read_image_format(session->fd);
    session->disk_fd = session->fd;
    return true;
}

image_volume find_fat_volume(int fd, const image_format& format, const std::string& shown,
                             int wanted) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)))
        return failed(nothing_changed(shown + " is no file that holds a disk image"));
    return find_fat_volume_in(file_source(fd, 0), image_bytes(fd), format, shown, wanted);
}

image_volume find_fat_volume_in(const byte_source& image, uint64_t size,
                                const image_format& format, const std::string& shown, int wanted) {
    unsigned char first[kSector * 2] = {};
    if (!read_source(image, 0, first, size < sizeof first ? (size_t)size : sizeof first))
        return failed("Can't read the disk image " + shown + ": " + strerror(errno));
    if (format.way == image_refused) return refused(shown, format);
    if (format.way == image_through_qemu) return needs_converting(shown, format);
    if (size < kSector)
        return failed(nothing_changed(shown + " is no disk image: it is too small to hold one"));
    // A fixed VHD: the raw disk, then its 512-byte footer.
    uint64_t disk = strcmp(format.qemu_driver, "vpc") == 0 ? size - kSector : size;

    uint64_t sectors = disk / kSector;
    volume_extent extent = {disk, disk != size, 0, 0, 0, 0};
    if (is_fat_boot_sector(first)) {
        if (wanted != 0)
            return failed(shown + " holds one FAT volume and no partition table: leave out "
                                  "--partition.");
        extent.volume_bytes = fat_volume_bytes(read_fat_layout(first));
        std::string problem = extent_problem(extent, shown);
        if (!problem.empty()) return cut_short(problem);
        image_volume volume;
        volume.found = true;
        return volume;
    }
    std::vector<partition> partitions;
    if (!read_partitions(first, sectors, image, &partitions))
        return failed(nothing_changed(shown + " is neither a FAT volume nor a disk with an MBR "
                                              "partition table: Tamrix cannot patch it"));
    const partition* chosen = nullptr;
    for (const partition& p : partitions) {
        if (wanted != 0 ? p.number == wanted : is_fat_type(p.type)) {
            chosen = &p;
            break;
        }
    }
    std::string list = "; its partitions: " + partition_list(partitions) + ".";
    if (chosen == nullptr && wanted != 0)
        return failed(shown + " has no partition " + std::to_string(wanted) + list);
    if (chosen == nullptr) return failed(shown + " has no FAT partition" + list);
    std::string name = "Partition " + std::to_string(chosen->number) + " of " + shown;
    if (!is_fat_type(chosen->type))
        return failed(name + " is " + partition_type_name(chosen->type) + ", not FAT" + list);
    extent.partition = chosen->number;
    extent.partition_start = chosen->start;
    extent.partition_sectors = chosen->sectors;
    std::string problem = extent_problem(extent, shown);
    if (!problem.empty()) return cut_short(problem);
    // (An empty partition may start at the disk's very end: no sector to read.)
    unsigned char boot[kSector];
    if (chosen->start >= sectors || !read_source(image, chosen->start * kSector, boot, sizeof boot) ||
        !is_fat_boot_sector(boot))
        return failed(nothing_changed(name + " holds no FAT file system"));
    extent.volume_bytes = fat_volume_bytes(read_fat_layout(boot));
    problem = extent_problem(extent, shown);
    if (!problem.empty()) return cut_short(problem);
    image_volume volume;
    volume.found = true;
    volume.offset = chosen->start * kSector;
    return volume;
}
