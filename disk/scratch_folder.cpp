// A run's scratch folder and files (see scratch_folder.h).
#include "scratch_folder.h"
#include "refusal_words.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

std::string tmpdir() {
    const char* tmp = getenv("TMPDIR");
    return tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
}

}  // namespace

std::string scratch_parent() {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && runtime[0] != '\0' ? runtime : tmpdir();
}

// The folders "tamrix-PURPOSE.<pid>" of this user's runs that have ended.
void scratch_folders_sweep(const char* purpose, scratch_release release) {
    std::string parent = scratch_parent(), prefix = std::string("tamrix-") + purpose + ".";
    std::error_code unread;  // no exceptions: an unreadable parent ends the sweep
    using std::filesystem::directory_iterator;
    for (auto entry = directory_iterator(parent, unread); entry != directory_iterator();
         entry.increment(unread)) {
        std::string folder = entry->path(), name = entry->path().filename();
        char* end = nullptr;
        long pid = name.compare(0, prefix.size(), prefix) != 0
                       ? 0 : strtol(name.c_str() + prefix.size(), &end, 10);
        struct stat info;
        if (pid <= 0 || *end != '\0' || lstat(folder.c_str(), &info) != 0 ||
            !S_ISDIR(info.st_mode) || info.st_uid != geteuid())
            continue;
        if (pid == getpid() || (kill((pid_t)pid, 0) != 0 && errno == ESRCH))
            scratch_folder_remove(folder, release);
    }
}

std::string scratch_folder_make(const char* purpose, scratch_release release) {
    scratch_folders_sweep(purpose, release);
    std::string folder =
        scratch_parent() + "/tamrix-" + purpose + "." + std::to_string(getpid());
    return mkdir(folder.c_str(), 0700) == 0 ? folder : "";
}

bool scratch_folder_remove(const std::string& folder, scratch_release release) {
    if (release != nullptr && !release(folder)) return false;
    std::error_code failed;
    std::filesystem::remove_all(folder, failed);
    return !failed;
}

int scratch_file() {
    std::string folder = tmpdir();
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string pattern = folder + "/tamrix-image.XXXXXX";
    fd = mkostemp(&pattern[0], O_CLOEXEC);
    if (fd >= 0) unlink(pattern.c_str());
    return fd;
}

std::string scratch_folder_refusal(const std::string& what) {
    const char* reason = strerror(errno);
    return nothing_changed("Can't make a scratch folder for " + what + " in " +
                           scratch_parent() + ": " + reason) +
           "  Set XDG_RUNTIME_DIR or TMPDIR to a folder you may write in.";
}
