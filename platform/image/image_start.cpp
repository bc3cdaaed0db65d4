// Readying a disk image for a run (see image_start.h).
#include "image_start.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../../system/system.h"
#include "image_disk.h"
#include "image_export.h"
#include "image_files.h"
#include "image_registry.h"

namespace {

const int kCannotUse = 1;  // the exit status when the image cannot be used
const int kInUse = 4;      // the exit status when another program has it open

// VER_PLATFORM_WIN32_WINDOWS: a registry in the CREG format is that of
// Windows 95, 98 or Me.
const uint32_t kWin32Windows = 1;

// The largest SYSTEM.DAT read: real ones are a few megabytes.
const size_t kMostRegistryBytes = 64u << 20;

int refuse(const std::string& why) {
    platform_message_box(why.c_str(), "Tamrix", icon_error, buttons_ok);
    return kCannotUse;
}

bool has_file(const std::vector<image_entry>& entries, const char* name, bool folder) {
    for (const image_entry& entry : entries)
        if (entry.folder == folder && strcasecmp(entry.name.c_str(), name) == 0) return true;
    return false;
}

// The folders in the volume's root that hold WIN.COM and INF\MACHINE.INF,
// or in its place MACHINE.IN@, the text of a swap that was cut off between
// its renames, which the next run gives its name back.
std::vector<std::string> windows_folders() {
    std::vector<std::string> found;
    std::vector<image_entry> root, folder, inf;
    if (!image_list("C:\\", &root)) return found;
    for (const image_entry& entry : root) {
        std::string path = "C:\\" + entry.name;
        if (entry.folder && image_list(path.c_str(), &folder) &&
            has_file(folder, "WIN.COM", false) && has_file(folder, "INF", true) &&
            image_list((path + "\\INF").c_str(), &inf) &&
            (has_file(inf, "MACHINE.INF", false) || has_file(inf, "MACHINE.IN@", false)))
            found.push_back(path);
    }
    return found;
}

// A folder named on the command line as one of the image's: \WINDOWS,
// C:\WINDOWS and /WINDOWS all name the same one.
std::string in_image(const std::string& given) {
    std::string path = given;
    if (path.size() >= 2 && path[1] == ':') path.erase(0, 2);
    for (char& c : path)
        if (c == '/') c = '\\';
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (!path.empty() && path[0] != '\\') path.insert(0, "\\");
    return "C:" + path;
}

// The kind of Windows, from what its registry records; one line says what
// was found.
int kind_from_registry(const std::string& windows_dir, bool say) {
    registry_version version;
    std::string bytes;
    if (image_read_whole((windows_dir + "\\SYSTEM.DAT").c_str(), &bytes, kMostRegistryBytes))
        version = read_windows_version(bytes);
    else
        version.why_not = "no SYSTEM.DAT in its Windows folder";
    int kind = version.found ? windows_kind(kWin32Windows, version.service.c_str()) : 0;
    if (say) {
        if (!version.found)
            printf("Windows in the image: unknown (%s): platform kind 0\n",
                   version.why_not.c_str());
        else if (version.service.empty())
            printf("Windows in the image: version %s, no service string: platform kind %d\n",
                   version.version.c_str(), kind);
        else
            printf("Windows in the image: version %s, service string \"%s\": platform kind %d\n",
                   version.version.c_str(), version.service.c_str(), kind);
        fflush(stdout);
    }
    return kind;
}

// An image of an emulator's format, exported as a raw disk at `*disk`
// (see image_export.h); 0, or the status the program ends with.
int export_image(const command_line& run, const image_format& format, std::string* disk) {
    const std::string& shown = run.image;
    bool read_only = run.mode == mode_status || run.dry_run;  // not a byte written
    if (run.mode != mode_status && !image_writable(run.image))
        return refuse("The disk image " + shown +
                      " is read-only; nothing was changed.  Make it writable to patch it.");
    std::string error;
    switch (image_export_start(run.image, shown, format.what, format.qemu_driver, read_only, disk,
                               &error)) {
        case export_ready: return 0;
        case export_in_use:
            platform_message_box(error.c_str(), "Tamrix", icon_error, buttons_ok);
            return kInUse;
        case export_cannot_start:
            return refuse(error + "  Nothing was changed." +
                          image_convert_hint(shown, format.qemu_driver));
        case export_failed: break;
    }
    return refuse(error);
}

}  // namespace

int image_start(command_line* run) {
    const std::string& shown = run->image;
    int fd = open(run->image.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return refuse("Can't open the disk image " + shown + ": " + strerror(errno));
    // The file mtools works on: the image, or QEMU's raw view of it.
    std::string disk = run->image;
    image_format format = read_image_format(fd);
    if (format.way == image_through_qemu) {
        struct stat read_here, opened;
        bool known = fstat(fd, &read_here) == 0;
        close(fd);
        int refused = export_image(*run, format, &disk);
        if (refused != 0) return refused;
        // QEMU opened the image by its name: the file whose format was read.
        if (!known || stat(run->image.c_str(), &opened) != 0 ||
            opened.st_dev != read_here.st_dev || opened.st_ino != read_here.st_ino) {
            std::string ignored;
            image_export_end(&ignored);
            return refuse(shown + " was replaced while Tamrix opened it; nothing was changed.");
        }
        fd = open(disk.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return refuse("Can't open the disk image " + shown + ": " + strerror(errno));
    }
    image_volume volume = find_fat_volume(fd, shown, run->partition);
    close(fd);
    if (!volume.found) return refuse(volume.error);
    std::string error;
    if (!image_attach(disk, shown, volume.offset, &error)) return refuse(error);
    if (format.way == image_direct && run->mode != mode_status && !image_writable(disk))
        return refuse("The disk image " + shown +
                      " is read-only; nothing was changed.  Make it writable to patch it.");

    if (run->has_windows_dir) {
        run->windows_dir = in_image(run->windows_dir);
    } else {
        std::vector<std::string> found = windows_folders();
        std::string where = found.empty() ? "" : found[0].substr(2);
        for (size_t i = 1; i < found.size(); i++) where += ", " + found[i].substr(2);
        if (found.empty())
            return refuse("No Windows folder in " + shown +
                          ": none in the root of its FAT volume holds WIN.COM and INF\\MACHINE.INF."
                          "  Name it with --windows-dir.");
        if (found.size() > 1)
            return refuse(shown + " holds more than one Windows folder: " + where +
                          ".  Name the one to patch with --windows-dir.");
        run->windows_dir = found[0];
        run->has_windows_dir = true;
    }
    if (!run->has_platform_kind)
        run->platform_kind = kind_from_registry(run->windows_dir, run->mode != mode_dialog);
    return 0;
}
