// What Tamrix asks of the running system beyond its files: which kind of
// Windows it is, and making Windows detect the edited devices again.
#ifndef TAMRIX_SYSTEM_SYSTEM_H
#define TAMRIX_SYSTEM_SYSTEM_H

#include "../platform/platform.h"

// VER_PLATFORM_WIN32_WINDOWS: Windows 95 and its successors 98 and Me (and
// a registry in their CREG format is one of theirs).
const uint32_t kWin32Windows = 1;

// The kind of Windows, from what GetVersionExA reports: its platform
// identifier and its service string (szCSDVersion).  0: not Windows 95/98
// (Win32s, the NT family); 1: Windows 95/98 without a service string; 2:
// with one.  Kind 0 is warned about at start-up; kind 2 adds the IRQ router
// lines to machine.inf.
int windows_kind(uint32_t platform_id, const char* service_string);

// The enumeration keys of the seven chipset devices of machine.inf and the
// three USB host controllers of usb.inf, below HKEY_LOCAL_MACHINE, in the
// order they are deleted.
const uint32_t kDeviceKeyCount = 10;
extern const char* const kDeviceKeys[];

// Deletes the enumeration keys of the ten devices, then offers a restart.
// Where the registry is not at hand (a Windows folder patched offline), it
// tells the user which devices to remove at that Windows' next start.
void finish_changes();
// The note's request, which the Linux program's Exit makes too.
extern const char kRemoveInDeviceManager[];
// False when the registry could not be opened at all.
bool delete_device_keys();
// 1 when the root key could be opened, whether or not the deletion worked.
int delete_registry_key(platform_key root, const char* subkey);

#endif
