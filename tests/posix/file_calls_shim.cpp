// Loaded into the built `tamrix` (LD_PRELOAD) by test_offline_registry.py,
// where a FAT volume may not be mounted and a crash must be made at a
// chosen moment:
//   - TAMRIX_SHIM_LOG names a file that gets one line per call watched:
//     "get NAME", "set NAME 0xATTRIBUTES" for the vfat driver's attribute
//     calls, "rename FROM TO" for rename and link (the folder's renames);
//   - TAMRIX_SHIM_ATTRIBUTES (a number): the attributes that
//     FAT_IOCTL_GET_ATTRIBUTES gives every file, as vfat would; both
//     attribute calls then succeed without reaching the file system;
//   - TAMRIX_SHIM_STOP_AT=N: the Nth rename or link kills the program
//     (SIGKILL) before it is made, as a crash there would.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <linux/msdos_fs.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern "C" {

typedef int (*two_paths_call)(const char*, const char*);
typedef int (*ioctl_call)(int, unsigned long, ...);

static int renames;  // the rename and link calls so far

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

int rename(const char* from, const char* to) {
    count_rename(from, to);
    return ((two_paths_call)dlsym(RTLD_NEXT, "rename"))(from, to);
}

int link(const char* from, const char* to) {
    count_rename(from, to);
    return ((two_paths_call)dlsym(RTLD_NEXT, "link"))(from, to);
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
    return ((ioctl_call)dlsym(RTLD_NEXT, "ioctl"))(fd, request, argument);
}

}  // extern "C"
