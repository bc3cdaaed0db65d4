// The Windows program's entry point: one copy at a time, the kind of
// Windows this is, then the core's start-up and dialog.  No C runtime is
// linked, so the linker enters here directly (-e): there is no command line
// to parse, no atexit list and no static constructor to run.  This is the
// one place the process ends.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "../system/system.h"
#include "../ui/ui.h"

// Held by the first copy of the program until its process ends.
static const char kOneCopyMutex[] = "Tamrix.OneCopy";

// The structure GetVersionExA fills, at its Windows 95 size.
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");

// The kind of Windows this is.  A failed query leaves platform 0 and no
// service string, which is kind 0.
static int this_windows_kind() {
    OSVERSIONINFOA info;
    char* bytes = reinterpret_cast<char*>(&info);
    for (unsigned i = 0; i < sizeof info; ++i)
        bytes[i] = 0;
    info.dwOSVersionInfoSize = 148;
    GetVersionExA(&info);
    info.szCSDVersion[sizeof info.szCSDVersion - 1] = 0;
    return windows_kind(info.dwPlatformId, info.szCSDVersion);
}

// Two copies would share out.inf and the backup names, and lose machine.inf
// between them: only the first one runs.  The mutex is never closed; it goes
// with the process.
static bool first_copy() {
    SetLastError(0);
    return CreateMutexA(0, FALSE, kOneCopyMutex) != 0 && GetLastError() != ERROR_ALREADY_EXISTS;
}

// Tells the user, then brings the first copy's dialog to the front.
static void point_at_first_copy() {
    platform_message_box("Tamrix is already running.", "Tamrix", icon_information, buttons_ok);
    HWND dialog = FindWindowA("#32770", TAMRIX_DIALOG_TITLE);
    if (dialog != 0)
        SetForegroundWindow(dialog);
}

static int run() {
    if (!first_copy()) {
        point_at_first_copy();
        return 0;
    }
    return tamrix_start(this_windows_kind());
}

extern "C" [[noreturn]] void tamrix_entry() {
    ExitProcess(static_cast<UINT>(run()));
    __builtin_unreachable();
}
