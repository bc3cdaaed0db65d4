// The seam as the benchmark needs it: the Linux program's file functions
// (posix_files.cpp) and nothing around them, so that what is measured is
// the core and the system's file calls.  A message box is printed and
// answered OK (or No).
#include "bench_platform.h"

#include <stdio.h>
#include <string.h>

#include "../platform/posix/posix_files.h"

namespace {
std::string windows_dir;
}

void bench_set_windows_dir(const std::string& dir) { windows_dir = dir; }

extern "C" {

open_status platform_open_read(const char* path, platform_file* file) {
    return posix_open_read(path, file);
}
bool platform_open_write(const char* path, platform_file* file) {
    return posix_open_write(path, file);
}
int32_t platform_read(platform_file file, char* buffer, uint32_t size) {
    return posix_read(file, buffer, size);
}
bool platform_write(platform_file file, const char* data, uint32_t size) {
    return posix_write(file, data, size);
}
bool platform_seek(platform_file file, uint32_t offset) { return posix_seek(file, offset); }
bool platform_flush(platform_file file) { return posix_flush(file); }
bool platform_close(platform_file file) { return posix_close(file); }
bool platform_rename(const char* from, const char* to) { return posix_rename(from, to); }
bool platform_delete(const char* path) { return posix_delete(path); }
bool platform_real_path(const char* path, char* real, uint32_t size) {
    return posix_real_path(path, real, size);
}
void platform_shown_path(const char* path, char* shown, uint32_t size) {
    posix_shown_path(path, shown, size);
}

void platform_swap_begins() {}
void platform_swap_ends() {}

box_answer platform_message_box(const char* text, const char* caption, box_icon, box_buttons buttons) {
    fprintf(stderr, "bench_merge: %s: %s\n", caption, text);
    return buttons == buttons_yes_no ? answer_no : answer_ok;
}

uint32_t platform_windows_dir(char* buffer, uint32_t size) {
    uint32_t length = (uint32_t)windows_dir.size();
    if (length == 0) return 0;
    if (length >= size) return length + 1;  // the size it needs, NUL included
    memcpy(buffer, windows_dir.c_str(), length + 1);
    return length;
}

}  // extern "C"
