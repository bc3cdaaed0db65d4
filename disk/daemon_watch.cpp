// The watcher of the export's daemon (see daemon_watch.h).
#include "daemon_watch.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "../base/sizes.h"
#include "../base/start_command.h"

namespace {

const int kTermForMilliseconds = 3000;  // then SIGKILL

// Whether `daemon` is still the export's daemon: a process id that a later
// process took (the daemon is not the watcher's child) is never signalled.
// A zombie's command line reads empty.
bool is_the_daemon(pid_t daemon, const std::string& folder) {
    int fd = open(("/proc/" + std::to_string(daemon) + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string words(16384, '\0');
    ssize_t count = read(fd, &words[0], words.size());
    close(fd);
    words.resize(count > 0 ? (size_t)count : 0);
    return words.find("qemu-storage-daemon") != std::string::npos &&
           words.find(folder + "/daemon.pid") != std::string::npos;
}

bool is_export_file(const char* name) {
    for (const char* ours : {".", "..", "daemon.log", "daemon.pid", "disk.raw"})
        if (strcmp(name, ours) == 0) return true;
    return false;
}

// Whether `folder` holds nothing but the export's own files.
bool holds_only_the_export(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool only = true;
    for (struct dirent* entry; only && (entry = readdir(dir)) != nullptr;)
        only = is_export_file(entry->d_name);
    closedir(dir);
    return only;
}

// What the watcher is handed across the fork.
struct watched {
    int read_end;
    pid_t daemon;
    const std::string* folder;
    scratch_release release;
};

void watch(void* argument) {
    const watched& it = *static_cast<const watched*>(argument);
    int read_end = it.read_end;
    pid_t daemon = it.daemon;
    const std::string& folder = *it.folder;
    // Every signal is blocked (start_async).  Ctrl-C and a terminal's
    // hang-up reach its old process group only.
    setpgid(0, 0);
    // Nothing of ours is kept: not our standard streams (a reader of our
    // output would wait for the watcher), nor the image's lock.
    int kept = fcntl(read_end, F_DUPFD, 3);
    int null = open("/dev/null", O_RDWR);
    for (int stream = 0; stream < 3; stream++) dup2(null, stream);
    close_range(3, (unsigned)kept - 1, 0);
    close_range((unsigned)kept + 1, ~0U, 0);
    char byte;
    while (read(kept, &byte, 1) < 0 && errno == EINTR) {
    }
    // EOF: we have ended without standing the watcher down.
    for (int waited = 0; is_the_daemon(daemon, folder); waited += kTermEveryMilliseconds) {
        kill(daemon, waited < kTermForMilliseconds ? SIGTERM : SIGKILL);
        struct timespec pause = {0, kTermEveryMilliseconds * 1000000L};
        nanosleep(&pause, nullptr);
    }
    if (it.release(folder) && holds_only_the_export(folder)) scratch_folder_remove(folder);
}

}  // namespace

daemon_watch daemon_watch_start(pid_t daemon, const std::string& folder,
                                scratch_release release) {
    daemon_watch watch_of_it;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return watch_of_it;
    watched it = {ends[0], daemon, &folder, release};
    pid_t watcher = start_async(watch, &it);
    close(ends[0]);
    if (watcher < 0) {
        close(ends[1]);
        return watch_of_it;
    }
    watch_of_it.watcher = watcher;
    watch_of_it.write_end = ends[1];
    return watch_of_it;
}

void daemon_watch_end(daemon_watch* watch) {
    // Stood down by SIGKILL, not by closing the pipe: it only waits in
    // read(), where that ends it without a step of its clean-up (which
    // would race ours); our unreaped child, its id is no other process's.
    if (watch->watcher > 0) {
        kill(watch->watcher, SIGKILL);
        while (waitpid(watch->watcher, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (watch->write_end >= 0) close(watch->write_end);
    *watch = daemon_watch();
}
