// The kind of Windows being patched, read from its registry (registry_kind.cpp).
#ifndef TAMRIX_LINUX_REGISTRY_KIND_H
#define TAMRIX_LINUX_REGISTRY_KIND_H

// The kind of Windows being patched, from what the registry of the Windows
// folder records (run_registry_read: 0 where it records none, or is
// refused).  A command prints a line saying what was found; the dialog
// shows it where it found no kind, before the start-up warning.  A folder
// of this system without SYSTEM.DAT gives 0, saying nothing.
int registry_windows_kind();

#endif
