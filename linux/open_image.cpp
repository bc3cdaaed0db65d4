// Opening the disk image of the command line (--image) before the dialog
// or a command starts: an emulator's format exported through QEMU as a raw
// disk, its FAT volume found and handed to the image backend, the Windows
// folder in it named or found, and the kind of Windows read from its
// SYSTEM.DAT through the checked offline registry (registry_kind.h).
#include "open_image.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../disk/block_device.h"
#include "../disk/image_checks.h"
#include "../disk/image_disk.h"
#include "../disk/image_export.h"
#include "../disk/image_files.h"
#include "../disk/image_session.h"
#include "../disk/qemu_check.h"
#include "../disk/refusal_words.h"
#include "front_end.h"
#include "voice.h"

namespace {

int refuse(const std::string& why, int status = exit_missing) {
    tell(why);
    return status;
}

// Why this user may not change the image, or "" when it may.
std::string not_writable(const std::string& image, image_access access) {
    if (the_image.device && access == image_not_yours)
        return nothing_changed("You may not write " + image) + "  " +
               block_device_access_advice(image);
    std::string start = "The disk image " + image;
    switch (access) {
        case image_writable: return "";
        case image_write_protected:
            return nothing_changed(image + " is write-protected (a card's lock switch, or a "
                                           "device that is read-only)");
        case image_read_only:
            return nothing_changed(start + " is read-only") + "  Make it writable to patch it.";
        case image_on_read_only_fs:
            return nothing_changed(start + " lies on a file system mounted read-only");
        case image_not_yours: break;
    }
    struct passwd* user = getpwuid(geteuid());
    std::string who = user != nullptr ? std::string(" (") + user->pw_name + ")" : "";
    return nothing_changed(start + " is not writable by you" + who) +
           "  Run Tamrix as a user who may write it.";
}

// Refuses a run when the host's file system has not the room a run may
// need in a sparse image: status 3, before anything is changed.
int refuse_without_room(int fd, const std::string& image) {
    uint64_t room = 0;
    if (!host_room(fd, &room) || room >= kRoomForARun) return exit_done;
    return refuse(nothing_changed("The disk that holds " + image + " is full: the file system on " +
                                  mount_point_of(image) + " has " + std::to_string(room) +
                                  " bytes free, and a run may need " +
                                  std::to_string(kRoomForARun)) +
                      "  Make room there, then try again.",
                  exit_unchanged);
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

// A folder named on the command line as a path of the image backend:
// \WINDOWS, C:\WINDOWS and /WINDOWS all name C:\WINDOWS.
std::string drive_c_path(const std::string& given) {
    std::string path = given;
    if (path.size() >= 2 && path[1] == ':') path.erase(0, 2);
    for (char& c : path)
        if (c == '/') c = '\\';
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (!path.empty() && path[0] != '\\') path.insert(0, "\\");
    return "C:" + path;
}

// The refusal of an image that another program has open: another Tamrix,
// or else such as a virtual machine.
int refuse_in_use(const std::string& image) {
    // A shared flock is refused while another Tamrix holds its own.
    bool tamrix = !the_image.held && flock(the_image.fd, LOCK_SH | LOCK_NB) != 0 &&
                  errno == EWOULDBLOCK;
    if (!the_image.held) flock(the_image.fd, LOCK_UN);
    return refuse(held_text(tamrix ? image_held_by_tamrix : image_in_use, image),
                  exit_held_elsewhere);
}

// Status 1 where a run would change the image, 3 where it only reads it
// (status, --dry-run).
int damaged_status(bool for_changes) { return for_changes ? exit_missing : exit_unchanged; }

// What qemu-img check says of the image, before QEMU exports it;
// exit_done when it is sound (see qemu_check.h).
int check_image(const std::string& image, const image_format& format, bool for_changes) {
    qemu_check_result check = qemu_check(image, format.qemu_driver, format.dirty);
    switch (check.outcome) {
        case check_sound:
        case check_not_offered: return exit_done;
        case check_damaged:
            return refuse(nothing_changed("The disk image " + image +
                                          " is damaged: qemu-img check finds errors in it, "
                                          "which a write could make worse") +
                              "  Restore it from a backup, or try 'qemu-img check -r "
                              "all -f " + format.qemu_driver + " " + image + "' on a copy."
                              "\nqemu-img check said: " + check.said,
                          damaged_status(for_changes));
        case check_in_use: return refuse_in_use(image);
        case check_unopened:
            return refuse(nothing_changed("QEMU cannot open " + image + " as " + format.what) +
                          "  It said: " + check.said);
        case check_no_tool:
            return refuse(nothing_changed("Tamrix changes " + image +
                                          " through QEMU, which needs qemu-img: install the "
                                          "package qemu-utils"));
    }
    return exit_done;
}

// The_image, of an emulator's format, exported as a raw disk, which
// the_image.disk_fd then reads (see image_export.h); exit_done, or the
// status the program ends with.  Before the export: this run's lock, then
// the check of the image.
int export_image(bool for_changes) {
    image_session& session = the_image;
    const std::string& image = session.shown;
    const image_format& format = session.format;
    std::string error = for_changes ? not_writable(image, session.access) : "";
    if (!error.empty()) return refuse(error);
    // This run's lock, held until the process ends: flock, which QEMU's
    // locks (byte ranges, fcntl) never meet, so that a second Tamrix is
    // told apart from a virtual machine.
    session.held = for_changes && flock(session.fd, LOCK_EX | LOCK_NB) == 0;
    if (for_changes && !session.held)
        return errno == EWOULDBLOCK ? refuse_in_use(image)
                                    : refuse(held_text(image_not_locked, image));
    int checked = check_image(image, format, for_changes);
    if (checked != exit_done) return checked;
    std::string disk;
    switch (image_export_start(&session.qemu, image, image, format.what, format.qemu_driver,
                               !for_changes, &disk, &error)) {
        case export_ready: break;
        case export_in_use: return refuse_in_use(image);
        case export_cannot_start:
            return refuse(nothing_changed(error) +
                          image_convert_hint(image, format.qemu_driver));
        case export_failed: return refuse(error);
    }
    // QEMU opened the image by its name: it must be the file whose format was read.
    struct stat read_here, opened;
    if (fstat(session.fd, &read_here) != 0 || stat(image.c_str(), &opened) != 0 ||
        opened.st_dev != read_here.st_dev || opened.st_ino != read_here.st_ino)
        return refuse(nothing_changed(image + " was replaced while Tamrix opened it"));
    // Above the descriptors a tool's standard streams are set up on.
    int fd = open(disk.c_str(), (for_changes ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    session.disk_fd = fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 10) : -1;
    if (fd >= 0) close(fd);
    if (session.disk_fd < 0)
        return refuse("Can't read QEMU's export of " + image + ": " + strerror(errno));
    return exit_done;
}

}  // namespace

std::string held_text(image_lock_result lock, const std::string& shown) {
    if (lock == image_held_by_tamrix)
        return held_by_another_tamrix(shown);
    if (lock == image_in_use)
        return nothing_changed("The disk image " + shown +
                               " is in use by another program, such as a virtual machine that "
                               "has it open") +
               "  Shut the virtual machine down first, then try again.";
    return nothing_changed("The disk image " + shown + " could not be locked");
}

int open_image(const std::string& image, int partition, bool for_changes,
               std::string* windows_dir) {
    std::string error;
    bool held = false;
    if (!image_session_open(&the_image, image, &error, &held))
        return refuse(error, held ? exit_held_elsewhere : exit_missing);
    const image_format& format = the_image.format;
    // A real disk holds a raw disk or a bare volume, nothing QEMU reads.
    if (the_image.device && format.way != image_direct)
        return refuse(nothing_changed(image + " holds " + format.what +
                                      ", not a disk with a FAT volume: Tamrix patches a "
                                      "device only as a raw disk"));
    if (format.damaged)
        return refuse(nothing_changed(image + " is " + format.what + ", " + format.refusal),
                      damaged_status(for_changes));
    int status = format.way == image_through_qemu ? export_image(for_changes) : exit_done;
    if (status != exit_done) return status;
    // QEMU's export is a raw disk, whatever the image's format.
    image_volume volume = find_fat_volume(
        the_image.disk_fd, the_image.qemu.running() ? image_format() : format, image, partition);
    the_image.volume_offset = volume.offset;
    if (!volume.found)
        return refuse(volume.error, volume.damaged ? damaged_status(for_changes) : exit_missing);
    if (!image_attach(&error)) return refuse(error);
    error = for_changes ? not_writable(image, the_image.access) : "";
    if (!error.empty()) return refuse(error);
    // A device has the room it has: no file on the host grows.
    status = for_changes && !the_image.device ? refuse_without_room(the_image.fd, image)
                                              : exit_done;
    if (status != exit_done) return status;
    if (!windows_dir->empty()) {
        *windows_dir = drive_c_path(*windows_dir);
        return exit_done;
    }
    std::vector<std::string> found = windows_folders();
    std::string where = found.empty() ? "" : found[0].substr(2);
    for (size_t i = 1; i < found.size(); i++) where += ", " + found[i].substr(2);
    if (found.empty())
        return refuse("No Windows folder in " + image +
                      ": none in the root of its FAT volume holds WIN.COM and INF\\MACHINE.INF."
                      "  Name it with --windows-dir.");
    if (found.size() > 1)
        return refuse(image + " holds more than one Windows folder: " + where +
                      ".  Name the one to patch with --windows-dir.");
    *windows_dir = found[0];
    return exit_done;
}

int hold_image() {
    image_lock_result lock = image_lock();
    return lock == image_locked ? exit_done
                                : refuse(held_text(lock, the_image.shown), exit_held_elsewhere);
}

int confirm_device(const std::string& device, const std::string& windows_dir) {
    if (!the_image.device) return exit_done;
    std::string folder = windows_dir.substr(2);  // without "C:"
    std::string text = device + " is " + block_device_description(the_image.fd) +
                       "; its Windows folder is " + folder + ".\nChange the files of " + folder +
                       " on " + device + "?";
    return ask(text) == answer_yes ? exit_done : exit_declined;
}
