// Start-up and the dialog procedure, shared by every front end.
#ifndef TAMRIX_UI_UI_H
#define TAMRIX_UI_UI_H

#include "../platform/platform.h"

// The window messages the dialog procedure handles, as Win32 numbers them.
const uint32_t kWmInitDialog = 0x0110;
const uint32_t kWmCommand = 0x0111;

// The dialog's commands: its three buttons, and Escape's cancel.
const uintptr_t kInstallButton = 1009;
const uintptr_t kUninstallButton = 1010;
const uintptr_t kExitButton = 1011;
const uintptr_t kCancelCommand = 2;

// Checks the platform, warns where it is not Windows 95, shows the dialog,
// and ends the process with status 0 when the dialog ends.
[[noreturn]] void tamrix_start();

// Returns nonzero when it handled the message.
intptr_t main_dialog_proc(platform_window window, uint32_t message,
                          uintptr_t first, intptr_t second);

#endif
