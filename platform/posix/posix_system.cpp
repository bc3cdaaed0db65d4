// The Linux program's registry and restart.  The registry of the Windows
// being patched lives in its SYSTEM.DAT, which only that Windows can edit:
// every call fails, and the core then tells the user which devices to
// remove at its next start.  Restarting this computer would do nothing for
// the Windows being patched.
#include "../platform.h"

platform_key platform_local_machine() { return 0; }

bool platform_reg_open(platform_key, const char*, platform_key*) { return false; }

bool platform_reg_enum_key(platform_key, uint32_t, char*, uint32_t) { return false; }

bool platform_reg_delete_key(platform_key, const char*) { return false; }

void platform_reg_close(platform_key) {}

void platform_restart() {}
