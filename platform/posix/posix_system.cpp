// The Linux program's restart, and its swaps that nothing may cut in half.
// Restarting this computer would do nothing for the Windows being patched.
// (Its registry calls act on that Windows' SYSTEM.DAT: offline_registry.cpp.)
#include "../../base/interruptions.h"
#include "../platform.h"

bool platform_can_restart() { return false; }
void platform_restart() {}

// A signal that comes between the renames of a swap is acted on after them.
void platform_swap_begins() { interruptions_hold(); }
void platform_swap_ends() { interruptions_let_through(); }
