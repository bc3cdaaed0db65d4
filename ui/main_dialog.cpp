// The program with its dialog: the start-up check, then the dialog
// procedure, which turns button presses into the Install, Uninstall and
// Exit commands.  Every front end that shows the dialog drives it through
// main_dialog_proc.
#include "../ops/inf_replace.h"
#include "../system/system.h"
#include "ui.h"

platform_window dialog_window;  // the dialog, stored when it starts

// What the dialog ends with: Exit, or a run that must end the program.
const intptr_t kDialogDone = 1;
const intptr_t kDialogEndsProgram = 2;

// The kind of Windows the dialog's runs are for.
static int dialog_windows_kind;

bool may_start(int windows_kind) {
    if (windows_kind != 0) return true;
    box_answer answer = platform_message_box(" The OS is not Windows 95 system.\n Continue, anyway?",
                                             "Warning", icon_information, buttons_yes_no);
    return answer != answer_no;
}

int tamrix_start(int windows_kind) {
    if (!may_start(windows_kind)) return 0;
    dialog_windows_kind = windows_kind;
    return platform_run_dialog(IDD_MAIN, main_dialog_proc) == kDialogEndsProgram ? 1 : 0;
}

// ---- the commands -------------------------------------------------------------------

// Only the checked state itself counts, not the indeterminate one.
static bool box_checked(int control) { return platform_get_check(dialog_window, control) == 1; }

bool chipsets_checked() { return box_checked(IDC_CHIPSETS); }
bool usb_checked() { return box_checked(IDC_USB); }

run_outcome on_install() {
    return run_install(selection{chipsets_checked(), usb_checked()}, dialog_windows_kind);
}

run_outcome on_uninstall() { return run_uninstall(selection{chipsets_checked(), usb_checked()}); }

static void on_exit(platform_window window) {
    if (files_changed) finish_changes();
    platform_end_dialog(window, kDialogDone);
}

// A run that must end the program ends the dialog at once, showing nothing
// more and skipping Exit's closing steps.
static void after_run(platform_window window, run_outcome run) {
    if (run.ends_process) platform_end_dialog(window, kDialogEndsProgram);
}

intptr_t main_dialog_proc(platform_window window, uint32_t message, uintptr_t first,
                          intptr_t second) {
    (void)second;
    if (message == kWmInitDialog) {
        dialog_window = window;
        read_windows_dir();
        platform_set_check(window, IDC_CHIPSETS, 1);
        platform_set_check(window, IDC_USB, 1);
        return 0;  // the system sets no initial keyboard focus
    }
    if (message != kWmCommand) return 0;
    // The whole parameter: a button's notification code (high half) is 0.
    if (first == IDC_INSTALL)
        after_run(window, on_install());
    else if (first == IDC_UNINSTALL)
        after_run(window, on_uninstall());
    else if (first == IDC_EXIT)
        on_exit(window);
    return 1;
}
