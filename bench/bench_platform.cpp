// Message boxes go to stderr and are answered at once (OK, or No when the
// box asks); the dialog, the check boxes (both checked), the registry (every
// call fails) and the restart do nothing.
#include "bench_platform.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "../platform/platform.h"

namespace {
char bench_windows_dir[4096];
}

void bench_set_windows_dir(const char* path) {
    snprintf(bench_windows_dir, sizeof bench_windows_dir, "%s", path);
}

box_answer platform_message_box(const char* text, const char* caption, box_icon,
                                box_buttons buttons) {
    fprintf(stderr, "[%s] %s\n", caption, text);
    return buttons == buttons_yes_no ? answer_no : answer_ok;
}

uint32_t platform_windows_dir(char* buffer, uint32_t size) {
    uint32_t length = static_cast<uint32_t>(strlen(bench_windows_dir));
    if (length == 0) return 0;
    if (length + 1 > size) return length + 1;
    memcpy(buffer, bench_windows_dir, length + 1);
    return length;
}

intptr_t platform_run_dialog() { return 0; }
void platform_end_dialog(platform_window, intptr_t) {}
int platform_get_check(platform_window, int) { return 1; }
void platform_set_check(platform_window, int, int) {}

platform_key platform_local_machine() { return 0; }
bool platform_reg_open(platform_key, const char*, platform_key*) { return false; }
bool platform_reg_enum_key(platform_key, uint32_t, char*, uint32_t) { return false; }
bool platform_reg_delete_key(platform_key, const char*) { return false; }
void platform_reg_close(platform_key) {}
void platform_restart() {}
