// The dialog: its template from the executable's resources, run modally with
// the core's dialog procedure.
#include "win32_backend.h"

#include "../../ui/ui.h"
#include "../platform.h"

static INT_PTR CALLBACK dialog_trampoline(HWND window, UINT message, WPARAM first,
                                          LPARAM second) {
    return main_dialog_proc(window, message, first, second);
}

intptr_t platform_run_dialog() {
    return DialogBoxParamA(win32_instance, MAKEINTRESOURCEA(IDD_MAIN), 0, dialog_trampoline, 0);
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
