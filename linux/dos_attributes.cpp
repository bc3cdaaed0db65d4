// The DOS attributes of a file (see dos_attributes.h): the image's through
// disk/, a folder's through the vfat driver's ioctl calls.
#include "dos_attributes.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "../disk/image_files.h"
#include "../platform/posix/posix_files.h"

namespace {

const uint32_t kKept = kDosReadOnly | kDosHidden | kDosSystem | kDosArchive;

// Runs `call` on the folder's file: attributes_none where its file system
// has no such call (ENOTTY everywhere but FAT).
attributes_read folder_ioctl(const char* path, unsigned long call, uint32_t* attributes) {
    int fd = open(posix_linux_path(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return attributes_failed;
    attributes_read read = attributes_kept;
    if (ioctl(fd, call, attributes) != 0) read = errno == ENOTTY ? attributes_none : attributes_failed;
    close(fd);
    return read;
}

}  // namespace

attributes_read get_dos_attributes(const char* path, uint32_t* attributes) {
    *attributes = 0;
    attributes_read read = attributes_failed;
    if (!is_image_path(path))
        read = folder_ioctl(path, FAT_IOCTL_GET_ATTRIBUTES, attributes);
    else if (image_get_attributes(path, attributes))
        read = attributes_kept;
    *attributes &= kKept;
    return read;
}

bool set_dos_attributes(const char* path, uint32_t attributes) {
    attributes &= kKept;
    return is_image_path(path) ? image_set_attributes(path, attributes)
                               : folder_ioctl(path, FAT_IOCTL_SET_ATTRIBUTES, &attributes) ==
                                     attributes_kept;
}
