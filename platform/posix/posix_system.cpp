// The Linux backend beyond files: the Windows folder being patched comes
// from the command line; there is no registry to edit and no restart to ask
// for, since that Windows is not running here.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../../resources/dialog_ids.h"
#include "../image/image_export.h"
#include "../image/image_files.h"
#include "posix_backend.h"

// The exit status when the changes of a run may not all be in the image.
const int kExportFailed = 3;

command_line posix_run;
posix_dialog_state posix_dialog;

// Any address will do as the handle: there is one dialog.
platform_window posix_dialog_window() { return &posix_dialog; }

void posix_exit(int status) {
    terminal_close();
    // An image changed through QEMU is in the image once its daemon ended well.
    if (image_exported()) {
        image_detach();
        std::string error;
        if (!image_export_end(&error)) {
            fprintf(stderr, "Tamrix: %s\n", error.c_str());
            if (status == 0) status = kExportFailed;
        }
    }
    fflush(stdout);
    fflush(stderr);
    exit(status);
}

uint32_t platform_windows_dir(char* buffer, uint32_t size) {
    const std::string& dir = posix_run.windows_dir;
    uint32_t length = (uint32_t)dir.size();
    if (length == 0) return 0;
    if (length >= size) return length + 1;  // the size it needs, NUL included
    memcpy(buffer, dir.c_str(), length + 1);
    return length;
}

box_answer platform_message_box(const char* text, const char* caption, box_icon icon,
                                box_buttons buttons) {
    if (posix_run.mode == mode_dialog) return terminal_message_box(text, caption, icon, buttons);
    return lines_message_box(text, caption, icon, buttons);
}

intptr_t platform_run_dialog() {
    posix_dialog = posix_dialog_state{0, 0, false, 0};
    return terminal_run_dialog();
}

void platform_end_dialog(platform_window dialog, intptr_t result) {
    (void)dialog;
    posix_dialog.ended = true;
    posix_dialog.result = result;
}

static int* check_of(int control) {
    if (control == IDC_CHIPSETS) return &posix_dialog.chipsets_check;
    if (control == IDC_USB) return &posix_dialog.usb_check;
    return nullptr;
}

int platform_get_check(platform_window dialog, int control) {
    (void)dialog;
    int* check = check_of(control);
    return check != nullptr ? *check : 0;
}

void platform_set_check(platform_window dialog, int control, int state) {
    (void)dialog;
    int* check = check_of(control);
    if (check != nullptr) *check = state;
}

// ---- no registry ----------------------------------------------------------------
// The registry of the Windows being patched lives in its SYSTEM.DAT, which
// only that Windows can edit: every call fails, and the core then tells the
// user which devices to remove at its next start.

platform_key platform_local_machine() { return 0; }

bool platform_reg_open(platform_key parent, const char* subkey, platform_key* key) {
    (void)parent;
    (void)subkey;
    (void)key;
    return false;
}

bool platform_reg_enum_key(platform_key key, uint32_t index, char* name, uint32_t size) {
    (void)key;
    (void)index;
    (void)name;
    (void)size;
    return false;
}

bool platform_reg_delete_key(platform_key key, const char* subkey) {
    (void)key;
    (void)subkey;
    return false;
}

void platform_reg_close(platform_key key) { (void)key; }

// Restarting this computer would do nothing for the Windows being patched.
void platform_restart() {}
