// The process entry point.  No C runtime is linked, so the linker enters
// here directly (-e): there is no command line to parse, no atexit list and
// no static constructor to run.  This is the one place the process ends.
#include "win32_backend.h"

#include "../../system/system.h"
#include "../../ui/ui.h"

HINSTANCE win32_instance;

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

extern "C" [[noreturn]] void tamrix_entry() {
    win32_instance = GetModuleHandleA(0);
    ExitProcess(static_cast<UINT>(tamrix_start(this_windows_kind())));
    __builtin_unreachable();
}
