// The process entry point.  No C runtime is linked, so the linker enters
// here directly (-e): there is no command line to parse, no atexit list and
// no static constructor to run.
#include "win32_backend.h"

#include "../../ui/ui.h"

HINSTANCE win32_instance;

extern "C" [[noreturn]] void tamrix_entry() {
    win32_instance = GetModuleHandleA(0);
    tamrix_start();  // ends the process
}
