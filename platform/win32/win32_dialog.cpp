// The dialog: its template from the executable's resources, run modally with
// the procedure the core gives.
#include "win32_backend.h"

#include "../platform.h"

// The procedure of the dialog being shown: one runs at a time.
static platform_dialog_procedure shown_procedure;

// Win32 calls a dialog procedure with its own calling convention.
static INT_PTR CALLBACK dialog_trampoline(HWND window, UINT message, WPARAM first,
                                          LPARAM second) {
    return shown_procedure(window, message, first, second);
}

intptr_t platform_run_dialog(int template_id, platform_dialog_procedure procedure) {
    shown_procedure = procedure;
    return DialogBoxParamA(GetModuleHandleA(0), MAKEINTRESOURCEA(template_id), 0,
                           dialog_trampoline, 0);
}

void platform_end_dialog(platform_window dialog, intptr_t result) {
    EndDialog(static_cast<HWND>(dialog), result);
}

int platform_get_check(platform_window dialog, int control) {
    return static_cast<int>(
        SendDlgItemMessageA(static_cast<HWND>(dialog), control, BM_GETCHECK, 0, 0));
}

void platform_set_check(platform_window dialog, int control, int state) {
    SendDlgItemMessageA(static_cast<HWND>(dialog), control, BM_SETCHECK,
                        static_cast<WPARAM>(state), 0);
}
