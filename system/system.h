// What Tamrix asks of the running system beyond its files: which kind of
// Windows it is, and making Windows detect the edited devices again.
#ifndef TAMRIX_SYSTEM_SYSTEM_H
#define TAMRIX_SYSTEM_SYSTEM_H

#include "../platform/platform.h"

// 0: not Windows 95/98 (NT family, or no Win32 at all); 1: Windows 95/98
// without a service string; 2: with one.  Kind 2 adds the IRQ router lines.
int platform_kind();

// Deletes the enumeration keys of the ten devices, then offers a restart.
// Where the registry is not at hand (a Windows folder patched offline), it
// tells the user which devices to remove at that Windows' next start.
void finish_changes();
// False when the registry could not be opened at all.
bool delete_device_keys();
// 1 when the root key could be opened, whether or not the deletion worked.
int delete_registry_key(platform_key root, const char* subkey);

#endif
