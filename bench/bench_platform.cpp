// The seam as the benchmark needs it: the files of a Linux folder, the
// table the seam's file calls go to unless another is installed
// (platform/file_backend.h), and nothing around them, so that what is
// measured is the core and the system's file calls.  A message box is
// printed and answered OK (or No).
#include "bench_platform.h"

#include <stdio.h>
#include <string.h>

namespace {
std::string windows_dir;  // what platform_windows_dir gives
}

void bench_set_windows_dir(const std::string& dir) { windows_dir = dir; }

extern "C" {

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
