// A disk image exported through qemu-storage-daemon (see image_export.h).
#include "image_export.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "daemon_watch.h"
#include "scratch_folder.h"
#include "image_files.h"
#include "qemu_child.h"
#include "../base/sizes.h"
#include "refusal_words.h"

namespace {

// How long the daemon may take to export the image, and to end.
const int kReadyMilliseconds = 10000;
const int kEndMilliseconds = 60000;

std::string in_scratch(const image_export& it, const char* name) {
    return it.scratch + "/" + name;
}

// What the daemon said, for the user (daemon_words).
std::string daemon_said(const image_export& it) {
    std::string said;
    int fd = open(in_scratch(it, "daemon.log").c_str(), O_RDONLY | O_CLOEXEC);
    char buffer[2048];
    ssize_t count = fd >= 0 ? read(fd, buffer, sizeof buffer) : -1;
    if (fd >= 0) close(fd);
    if (count > 0) said.assign(buffer, (size_t)count);
    return daemon_words(said);
}

// Whether a file system is mounted on the mount point in `folder`.
bool mounted(const std::string& folder) {
    struct stat above, view;
    if (stat(folder.c_str(), &above) != 0) return false;
    // A dead FUSE mount answers ENOTCONN: it is still there.
    if (stat((folder + "/disk.raw").c_str(), &view) != 0) return errno == ENOTCONN;
    return view.st_dev != above.st_dev;
}

// Readies a scratch folder of the export (this run's, or one an ended run
// left) for removal: unmounts what is still mounted there; false when that
// fails (see scratch_folder.h).
bool release_folder(const std::string& folder) {
    std::string fusermount = program_on_path("fusermount3");
    pid_t child = !mounted(folder) || fusermount.empty()
                      ? -1
                      : start_command(qemu_tool({fusermount, "-u", "-z", folder + "/disk.raw"},
                                                kChildNull, kChildNull));
    if (child > 0) reaped(child, kEndMilliseconds);
    return !mounted(folder);
}

}  // namespace

void image_export_sweep() { scratch_folders_sweep("export", release_folder); }

namespace {

// After the daemon has gone (or was never started): nothing left behind,
// the scratch folder of this run removed.
void clean_up(image_export* it) {
    it->daemon = -1;
    daemon_watch_end(&it->watch);
    if (!it->scratch.empty()) scratch_folder_remove(it->scratch, release_folder);
    it->scratch.clear();
}

std::string needs(const image_export& it, const std::string& what) {
    return "Tamrix changes " + it.shown + " through QEMU, which needs " + what + ".";
}

export_outcome cannot_start(image_export* it, const std::string& why, std::string* error) {
    *error = why;
    clean_up(it);
    return export_cannot_start;
}

}  // namespace

export_outcome image_export_start(image_export* it, const std::string& file,
                                  const std::string& shown, const char* what, const char* driver,
                                  bool read_only, std::string* view, std::string* error) {
    it->shown = shown;
    it->driver = driver;
    std::string daemon = program_on_path("qemu-storage-daemon");
    if (daemon.empty())
        return cannot_start(it, needs(*it, "qemu-storage-daemon: install the package qemu-system-common"),
                            error);
    if (program_on_path("fusermount3").empty())
        return cannot_start(it, needs(*it, "fusermount3: install the package fuse3"), error);
    int fuse = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0)
        return cannot_start(it, needs(*it, std::string("FUSE, but /dev/fuse cannot be opened (") +
                                  strerror(errno) +
                                  "): load the kernel module fuse, and let users open "
                                  "/dev/fuse"),
                            error);
    close(fuse);
    char absolute[PATH_MAX];
    if (realpath(file.c_str(), absolute) == nullptr) {
        *error = cannot_open_image(shown);
        return export_failed;
    }

    // No converting helps here: the place for scratch folders is wrong.
    std::string folder = scratch_folder_make("export", release_folder);
    if (folder.empty()) {
        *error = scratch_folder_refusal("the export of " + shown);
        clean_up(it);
        return export_failed;
    }
    it->scratch = folder;
    int mount_point = open(in_scratch(*it, "disk.raw").c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC,
                           0600);
    int log = open(in_scratch(*it, "daemon.log").c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (mount_point >= 0) close(mount_point);
    if (mount_point < 0 || log < 0) {
        if (log >= 0) close(log);
        *error = nothing_changed("Can't make the export's mount point for " + shown + " in " +
                                 folder + ": " + strerror(errno));
        clean_up(it);
        return export_failed;
    }

    std::string read_only_option = read_only ? ",read-only=on" : "";
    pid_t child = start_command(qemu_tool(
        {daemon, "--blockdev",
         "driver=file,node-name=file0,filename=" + qemu_option_value(absolute) + read_only_option,
         "--blockdev", std::string("driver=") + driver + ",node-name=disk0,file=file0" +
                           read_only_option,
         "--export",
         "type=fuse,id=export0,node-name=disk0,mountpoint=" +
             qemu_option_value(in_scratch(*it, "disk.raw")) + ",writable=" + (read_only ? "off" : "on") +
             ",allow-other=off",
         "--pidfile", in_scratch(*it, "daemon.pid")},
        log, log));
    close(log);
    if (child < 0) return cannot_start(it, "Can't start qemu-storage-daemon: " + std::string(strerror(errno)), error);
    it->daemon = child;
    it->watch = daemon_watch_start(child, folder, release_folder);

    // The pidfile is written once the export is ready.
    struct stat pidfile;
    for (int waited = 0; waited < kReadyMilliseconds; waited += 2) {
        if (stat(in_scratch(*it, "daemon.pid").c_str(), &pidfile) == 0 && pidfile.st_size > 0 &&
            mounted(it->scratch)) {
            *view = in_scratch(*it, "disk.raw");
            return export_ready;
        }
        if (reaped(child, 2) != -1) {  // waits the 2 ms when it still runs
            std::string said = daemon_said(*it);
            clean_up(it);
            if (is_lock_refusal(said)) return export_in_use;  // the caller words it
            *error = nothing_changed("QEMU cannot open " + shown + " as " + what) +
                     (said.empty() ? "" : "  It said: " + said);
            return export_failed;
        }
    }
    kill(child, SIGKILL);
    reaped(child, kEndMilliseconds);
    clean_up(it);
    *error = nothing_changed("qemu-storage-daemon did not export " + shown + " within " +
                             std::to_string(kReadyMilliseconds / 1000) + " seconds");
    return export_failed;
}

bool image_export_end(image_export* it, std::string* error) {
    if (!it->running()) return true;
    pid_t child = it->daemon;
    // QEMU can miss a SIGTERM (a daemon was seen idle in poll after one, see
    // daemon_watch.h): the request is repeated until it ends.
    int status = -1;
    for (int waited = 0; status == -1 && waited < kEndMilliseconds; waited += kTermEveryMilliseconds) {
        kill(child, SIGTERM);
        status = reaped(child, kTermEveryMilliseconds);
    }
    if (status == -1) {
        kill(child, SIGKILL);
        status = reaped(child, kEndMilliseconds);
    }
    std::string said = daemon_said(*it);
    std::string shown = it->shown, driver = it->driver;
    clean_up(it);
    if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    std::string how = status == -1 || !WIFSIGNALED(status)
                          ? "with status " + std::to_string(status == -1 ? -1 : WEXITSTATUS(status))
                          : "by signal " + std::to_string(WTERMSIG(status));
    *error = "qemu-storage-daemon, which wrote this run's changes into " + shown +
             ", ended " + how + ": the image may lack some of them.  Check it before using "
             "it: qemu-img check -f " + driver + " " + shown +
             (said.empty() ? "" : "\nIt said: " + said);
    return false;
}

std::string daemon_words(std::string said) {
    const char kName[] = "qemu-storage-daemon: ";
    if (said.compare(0, sizeof kName - 1, kName) == 0) said.erase(0, sizeof kName - 1);
    size_t option_end = said.find(": ");
    if (said.compare(0, 2, "--") == 0 && option_end != std::string::npos)
        said.erase(0, option_end + 2);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
    for (char& c : said)
        if (c == '\n' || c == '\r') c = ' ';
    return said;
}
