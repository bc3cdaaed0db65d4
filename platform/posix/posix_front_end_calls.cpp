// The seam's functions on Linux whose answer is the front end's: each hands
// its call to the table in platform_front_end (front_end_calls.h).
#include <string.h>

#include "front_end_calls.h"

const front_end_calls* platform_front_end;  // installed by the program's front end

uint32_t platform_windows_dir(char* buffer, uint32_t size) {
    const char* dir = platform_front_end->windows_dir();
    uint32_t length = (uint32_t)strlen(dir);
    if (length == 0) return 0;
    if (length >= size) return length + 1;  // the size it needs, NUL included
    memcpy(buffer, dir, length + 1);
    return length;
}

box_answer platform_message_box(const char* text, const char* caption, box_icon icon,
                                box_buttons buttons) {
    return platform_front_end->message_box(text, caption, icon, buttons);
}

intptr_t platform_run_dialog(int template_id, platform_dialog_procedure procedure) {
    return platform_front_end->run_dialog(template_id, procedure);
}
void platform_end_dialog(platform_window dialog, intptr_t result) {
    platform_front_end->end_dialog(dialog, result);
}
int platform_get_check(platform_window dialog, int control) {
    return platform_front_end->get_check(dialog, control);
}
void platform_set_check(platform_window dialog, int control, int state) {
    platform_front_end->set_check(dialog, control, state);
}

bool platform_begin_run(const char* inf_folder) {
    return platform_front_end->begin_run(inf_folder);
}
void platform_end_run() { platform_front_end->end_run(); }
