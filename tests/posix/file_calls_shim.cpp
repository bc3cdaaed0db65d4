// Loaded into the built `tamrix` (LD_PRELOAD) by the end-to-end tests,
// where a FAT volume may not be mounted and a crash or a failure must be
// made at a chosen moment, as SQLite's test file system counts down to the
// call that fails:
//   - TAMRIX_SHIM_LOG names a file that gets one line per call watched:
//     "get NAME", "set NAME 0xATTRIBUTES" for the vfat driver's attribute
//     calls, "rename FROM TO" for rename, renameat2 and link (the folder's
//     renames);
//   - TAMRIX_SHIM_ATTRIBUTES (a number): the attributes that
//     FAT_IOCTL_GET_ATTRIBUTES gives every file, as vfat would; both
//     attribute calls then succeed without reaching the file system;
//   - TAMRIX_SHIM_STOP_AT=N: the Nth rename or link kills the program
//     (SIGKILL) before it is made, as a crash there would.
// And every file call, counted (test_file_calls.py):
//   - TAMRIX_SHIM_UNDER=DIR: the calls counted are the opens, writes (a
//     copy from file to file among them), fsyncs, closes, links, unlinks
//     and renames of files under DIR (a descriptor by the path it was
//     opened with), each child started (fork) and each read of a pipe (a
//     child's output: "pipe"), one line each in TAMRIX_SHIM_CALLS
//     ("write NAME");
//   - TAMRIX_SHIM_KINDS=write,fsync,...: only those kinds are counted;
//   - TAMRIX_SHIM_KILL_AT=N: the Nth counted call kills the program
//     (SIGKILL) before it is made; with TAMRIX_SHIM_SIGNAL=TERM it gets
//     SIGTERM there instead, as from a user, and goes on;
//   - TAMRIX_SHIM_FAIL_AT=N with TAMRIX_SHIM_ERRNO=EIO|ENOSPC|EACCES: the
//     Nth counted call fails with that error instead, once;
//   - TAMRIX_SHIM_UNREADABLE=DIR: every open of that folder fails (EACCES),
//     as for a folder whose permissions keep the program out.
// The children (mtools) do not load the shim: the program's own calls and
// its child starts are the moments counted.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

extern "C" {

typedef int (*two_paths_call)(const char*, const char*);
typedef int (*ioctl_call)(int, unsigned long, ...);

static int renames;          // the rename and link calls so far
static int counted;          // the calls counted under TAMRIX_SHIM_UNDER so far
static const char* under;    // TAMRIX_SHIM_UNDER, read once
static char watched[4096];   // TAMRIX_SHIM_CALLS, read once (children have no shim)
static int kill_at, fail_at, fail_errno;
static int kill_with = SIGKILL;  // TAMRIX_SHIM_SIGNAL

// The children started by the program inherit no shim: it is read here,
// before main, and taken out of the environment they are given.
__attribute__((constructor)) static void read_settings() {
    under = getenv("TAMRIX_SHIM_UNDER");
    if (under != nullptr) under = strdup(under);
    const char* calls = getenv("TAMRIX_SHIM_CALLS");
    snprintf(watched, sizeof watched, "%s", calls ? calls : "");
    kill_at = getenv("TAMRIX_SHIM_KILL_AT") ? atoi(getenv("TAMRIX_SHIM_KILL_AT")) : 0;
    fail_at = getenv("TAMRIX_SHIM_FAIL_AT") ? atoi(getenv("TAMRIX_SHIM_FAIL_AT")) : 0;
    const char* error = getenv("TAMRIX_SHIM_ERRNO");
    fail_errno = !error                        ? EIO
                 : strcmp(error, "ENOSPC") == 0 ? ENOSPC
                 : strcmp(error, "EACCES") == 0 ? EACCES
                                                : EIO;
    const char* signal_name = getenv("TAMRIX_SHIM_SIGNAL");
    if (signal_name && strcmp(signal_name, "TERM") == 0) kill_with = SIGTERM;
    if (under != nullptr) unsetenv("LD_PRELOAD");
}

static void note(const char* format, ...) {
    const char* log = getenv("TAMRIX_SHIM_LOG");
    FILE* file = log ? fopen(log, "a") : nullptr;
    if (!file) return;
    va_list args;
    va_start(args, format);
    vfprintf(file, format, args);
    va_end(args);
    fputc('\n', file);
    fclose(file);
}

static const char* leaf(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

static void count_rename(const char* from, const char* to) {
    note("rename %s %s", leaf(from), leaf(to));
    const char* stop = getenv("TAMRIX_SHIM_STOP_AT");
    if (stop && ++renames == atoi(stop)) kill(getpid(), SIGKILL);
}

static bool is_under(const char* path) {
    return under != nullptr && path != nullptr && strncmp(path, under, strlen(under)) == 0;
}

static bool fd_under(int fd, char* path, size_t size) {
    if (under == nullptr) return false;
    char link_name[64];
    snprintf(link_name, sizeof link_name, "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link_name, path, size - 1);
    path[length > 0 ? length : 0] = '\0';
    return is_under(path);
}

// Counts a call of `kind` on `path` (when it is under the watched folder):
// false, with errno, when this is the call that fails; kills the program
// when it is the one that dies.
static bool go_on(const char* kind, const char* path) {
    bool anywhere = strcmp(kind, "fork") == 0 || strcmp(kind, "pipe") == 0;
    if (under == nullptr || (!is_under(path) && !anywhere)) return true;
    const char* kinds = getenv("TAMRIX_SHIM_KINDS");
    if (kinds && kinds[0]) {
        const char* found = strstr(kinds, kind);
        size_t length = strlen(kind);
        if (!found || (found[length] != ',' && found[length] != '\0')) return true;
    }
    counted++;
    FILE* file = watched[0] ? fopen(watched, "a") : nullptr;
    if (file) {
        fprintf(file, "%s %s\n", kind, leaf(path));
        fclose(file);
    }
    if (counted == kill_at) kill(getpid(), kill_with);
    if (counted == fail_at) {
        errno = fail_errno;
        return false;
    }
    return true;
}

static bool go_on_fd(const char* kind, int fd) {
    char path[4096];
    return !fd_under(fd, path, sizeof path) || go_on(kind, path);
}

#define NEXT(type, name) ((type)dlsym(RTLD_NEXT, name))

int rename(const char* from, const char* to) {
    count_rename(from, to);
    if (!go_on("rename", to)) return -1;
    return NEXT(two_paths_call, "rename")(from, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
    count_rename(from, to);
    if (!go_on("rename", to)) return -1;
    typedef int (*call)(int, const char*, int, const char*, unsigned);
    return NEXT(call, "renameat2")(from_dir, from, to_dir, to, flags);
}

int link(const char* from, const char* to) {
    count_rename(from, to);
    if (!go_on("link", to)) return -1;
    return NEXT(two_paths_call, "link")(from, to);
}

int unlink(const char* path) {
    if (!go_on("unlink", path)) return -1;
    typedef int (*call)(const char*);
    return NEXT(call, "unlink")(path);
}

// Whether `path` names TAMRIX_SHIM_UNREADABLE, with or without a last "/".
static bool unreadable(const char* path) {
    const char* folder = getenv("TAMRIX_SHIM_UNREADABLE");
    size_t length = folder ? strlen(folder) : 0;
    return length > 0 && strncmp(path, folder, length) == 0 &&
           (path[length] == '\0' || (path[length] == '/' && path[length + 1] == '\0'));
}

static int open_with(const char* name, int dir, const char* path, int flags, va_list args) {
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(args, int) : 0;
    if (unreadable(path)) {
        errno = EACCES;
        return -1;
    }
    if (!go_on("open", path)) return -1;
    if (dir == -1) {
        typedef int (*call)(const char*, int, ...);
        return NEXT(call, name)(path, flags, mode);
    }
    typedef int (*call)(int, const char*, int, ...);
    return NEXT(call, name)(dir, path, flags, mode);
}

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    int fd = open_with("open", -1, path, flags, args);
    va_end(args);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    int fd = open_with("open64", -1, path, flags, args);
    va_end(args);
    return fd;
}

int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    int fd = open_with("openat", dir, path, flags, args);
    va_end(args);
    return fd;
}

ssize_t write(int fd, const void* data, size_t size) {
    if (!go_on_fd("write", fd)) return -1;
    typedef ssize_t (*call)(int, const void*, size_t);
    return NEXT(call, "write")(fd, data, size);
}

// The system's copy from file to file: a write of the file written to.
ssize_t copy_file_range(int from, off64_t* from_offset, int to, off64_t* to_offset, size_t size,
                        unsigned flags) {
    if (!go_on_fd("write", to)) return -1;
    typedef ssize_t (*call)(int, off64_t*, int, off64_t*, size_t, unsigned);
    return NEXT(call, "copy_file_range")(from, from_offset, to, to_offset, size, flags);
}

// A read of a child's output (a pipe): the listing mdir prints, say.
ssize_t read(int fd, void* buffer, size_t size) {
    char path[4096];
    if (under != nullptr && !fd_under(fd, path, sizeof path) &&
        strncmp(path, "pipe:", 5) == 0 && !go_on("pipe", "pipe"))
        return -1;
    typedef ssize_t (*call)(int, void*, size_t);
    return NEXT(call, "read")(fd, buffer, size);
}

int fsync(int fd) {
    if (!go_on_fd("fsync", fd)) return -1;
    typedef int (*call)(int);
    return NEXT(call, "fsync")(fd);
}

int close(int fd) {
    if (!go_on_fd("close", fd)) {
        NEXT(int (*)(int), "close")(fd);  // a failed close still closes, as Linux's does
        return -1;
    }
    return NEXT(int (*)(int), "close")(fd);
}

pid_t fork() {
    if (!go_on("fork", "child")) return -1;
    return NEXT(pid_t (*)(), "fork")();
}

int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    const char* given = getenv("TAMRIX_SHIM_ATTRIBUTES");
    if (given && (request == FAT_IOCTL_GET_ATTRIBUTES || request == FAT_IOCTL_SET_ATTRIBUTES)) {
        char link_name[64], path[4096];
        snprintf(link_name, sizeof link_name, "/proc/self/fd/%d", fd);
        ssize_t length = readlink(link_name, path, sizeof path - 1);
        path[length > 0 ? length : 0] = '\0';
        if (request == FAT_IOCTL_GET_ATTRIBUTES) {
            *(uint32_t*)argument = (uint32_t)strtoul(given, nullptr, 0);
            note("get %s", leaf(path));
        } else {
            note("set %s 0x%02x", leaf(path), *(uint32_t*)argument);
        }
        return 0;
    }
    return NEXT(ioctl_call, "ioctl")(fd, request, argument);
}

}  // extern "C"
