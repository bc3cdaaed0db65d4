// Start-up and the dialog, shared by every front end that shows the dialog.
#ifndef TAMRIX_UI_UI_H
#define TAMRIX_UI_UI_H

#include "../ops/inf_runs.h"
#include "../platform/platform.h"
#include "../resources/dialog_ids.h"

// The window messages the dialog procedure handles, as Win32 numbers them.
const uint32_t kWmInitDialog = 0x0110;
const uint32_t kWmCommand = 0x0111;

// The command Escape sends (IDCANCEL), which is none of the buttons.
const uintptr_t kCancelCommand = 2;

// The start-up check: where the system is not Windows 95 (kind 0), asks
// whether to go on.  False when the user says No.
bool may_start(int windows_kind);

// The whole program with the dialog: the start-up check, then the dialog
// until it ends.  Returns the exit status: 0, or 1 when a run had to end the
// program (a missing machine.inf, an out.inf or new usb.inf that could not
// be made).
int tamrix_start(int windows_kind);

// ---- the dialog ------------------------------------------------------------------
// The dialog, stored when it starts; the check boxes are read through it.
extern platform_window dialog_window;

// Returns nonzero when it handled the message.
intptr_t main_dialog_proc(platform_window window, uint32_t message, uintptr_t first,
                          intptr_t second);

// The commands of the buttons: each reads the check boxes and runs.
bool chipsets_checked();
bool usb_checked();
run_outcome on_install();
run_outcome on_uninstall();

#endif
