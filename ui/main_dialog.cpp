// The dialog procedure: button presses become the Install, Uninstall and
// Exit commands.  Every front end drives the dialog through it.
#include "../ops/inf_replace.h"
#include "../ops/inf_runs.h"
#include "../system/system.h"
#include "ui.h"

const intptr_t kDialogDone = 1;

static void on_exit(platform_window window) {
    if (files_changed) finish_changes();
    platform_end_dialog(window, kDialogDone);
}

intptr_t main_dialog_proc(platform_window window, uint32_t message, uintptr_t first,
                          intptr_t second) {
    (void)second;
    if (message == kWmInitDialog) {
        dialog_window = window;
        read_windows_dir();
        platform_set_check(window, kChipsetsBox, 1);
        platform_set_check(window, kUsbBox, 1);
        return 0;  // the system sets no initial keyboard focus
    }
    if (message != kWmCommand) return 0;
    // The whole parameter: a button's notification code (high half) is 0.
    if (first == kInstallButton)
        on_install();
    else if (first == kUninstallButton)
        on_uninstall();
    else if (first == kExitButton)
        on_exit(window);
    return 1;
}
