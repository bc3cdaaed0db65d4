// The offline registry at the end of a run (registry_exit.cpp): Exit's
// change of SYSTEM.DAT, and its line in status.
#ifndef TAMRIX_LINUX_REGISTRY_EXIT_H
#define TAMRIX_LINUX_REGISTRY_EXIT_H

// Exit's last step: the device keys that the core deleted, written as one
// change of the Windows folder's SYSTEM.DAT (or, where that fails, the
// devices to remove in Device Manager); nothing when the core deleted none.
void write_offline_registry();
// Why SYSTEM.DAT is left alone, told once at Exit, the first time the core
// asks for it (platform_local_machine) and it was refused.
void tell_registry_refused(const char* why);
// For status: how many of the ten device keys SYSTEM.DAT holds, as a line;
// none when the Windows folder has no SYSTEM.DAT.  False when it reported
// SYSTEM.DAT missing, its old text left in a backup by a cut-off swap.
bool show_registry_status();

#endif
