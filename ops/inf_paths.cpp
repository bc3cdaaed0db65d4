// The Windows directory and the paths built on it.
#include "inf_paths.h"

#include "../engine/text.h"
#include "report.h"

char windows_dir[kPathSize];  // the Windows directory, as read_windows_dir found it

static bool windows_dir_fits;  // false until read, and when it was too long

// Room to show a path that was too long for kPathSize.
static char long_path[1024];  // the path being reported

void report_too_long(const char* dir, const char* relative) {
    join_text(long_path, sizeof long_path, dir, relative);
    report_error("Path too long: ", long_path, "File Open Error");
}

// The directory as the system has it, however long, for the report.
static void report_long_windows_dir(const char* relative) {
    static char dir[sizeof long_path];  // the directory that did not fit
    uint32_t length = platform_windows_dir(dir, sizeof dir);
    if (length == 0 || length >= sizeof dir) dir[0] = '\0';
    report_too_long(dir, relative);
}

bool read_windows_dir() {
    uint32_t length = platform_windows_dir(windows_dir, kPathSize);
    windows_dir_fits = length < kPathSize;
    if (length == 0 || !windows_dir_fits) windows_dir[0] = '\0';
    if (!windows_dir_fits) report_long_windows_dir("");
    return windows_dir_fits;
}

bool build_path(char* path, const char* relative) {
    if (!windows_dir_fits) {
        path[0] = '\0';
        report_long_windows_dir(relative);
        return false;
    }
    if (join_text(path, kPathSize, windows_dir, relative)) return true;
    report_too_long(windows_dir, relative);
    return false;
}
