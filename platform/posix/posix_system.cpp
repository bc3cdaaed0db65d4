// The Linux program's restart.  Restarting this computer would do nothing
// for the Windows being patched.  (Its registry calls act on that Windows'
// SYSTEM.DAT: offline_registry.cpp.)
#include "../platform.h"

bool platform_can_restart() { return false; }
void platform_restart() {}
