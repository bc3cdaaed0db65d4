// The registry of the Windows being patched, for the seam's registry calls
// on Linux: its SYSTEM.DAT (HKEY_LOCAL_MACHINE) read whole and checked
// (registry_file.h), the keys that platform_reg_delete_key deletes
// collected in memory, and all of them written at the end as one change
// of the file by the front end's Exit.
//
// Until offline_registry_load has succeeded, or after
// offline_registry_unload, there is no registry: offline_registry_root
// gives 0 and every call fails, as the core expects of a registry that is
// not at hand.  Nothing here speaks to the user: a refusal is an outcome
// and a reason, which the front end words.
#ifndef TAMRIX_PLATFORM_POSIX_OFFLINE_REGISTRY_H
#define TAMRIX_PLATFORM_POSIX_OFFLINE_REGISTRY_H

#include <string>
#include <vector>

#include "../platform.h"
#include "../../registry/registry_file.h"

// A file of the Windows folder beside SYSTEM.DAT, as the seam's file calls
// name it; "" when there is no Windows folder.
std::string system_dat_path(const char* name);
// The file at `path`, whole, read through the seam's file calls; false with
// `why_not` for the user, and `missing` set when there is no such file.
bool read_system_dat(const std::string& path, std::string* bytes, std::string* why_not,
                     bool* missing = nullptr);

// The Windows folder's SYSTEM.DAT, read and checked the first time a run
// asks, as soon as the Windows folder is known; every later call gives the
// same answer without reading again.  The kind of Windows, status and Exit
// all ask here.
enum registry_reading {
    registry_absent,   // the folder has no SYSTEM.DAT
    registry_refused,  // it cannot be read, or does not pass the check: `why_not`
    registry_read,     // loaded
};
registry_reading offline_registry_read(std::string* why_not);

// VersionNumber and SubVersionNumber of the loaded registry's
// SOFTWARE\Microsoft\Windows\CurrentVersion, without a NUL at their end;
// false when it records no VersionNumber (`service` is "" where there is
// no SubVersionNumber).
bool offline_registry_version(std::string* version, std::string* service);

// Whether the loaded registry names its PCI devices as Windows 98 and Me
// do, with the subsystem and revision: Enum\PCI\VEN_8086&DEV_7113&SUBSYS_
// 00000000&REV_08 (the real Windows ME SYSTEM.DAT of the tests) where
// Windows 95 has Enum\PCI\VEN_8086&DEV_7113.  None of the ten keys, which
// are the Windows 95 names, is then found.
bool offline_registry_names_pci_as_windows98();

// Takes `bytes`, a SYSTEM.DAT, as the registry of the calls, if it passes
// the structural check; else false with `why_not` for the user.
bool offline_registry_load(const std::string& bytes, std::string* why_not);
// Forgets the loaded file and the run's reading: the next
// offline_registry_read reads SYSTEM.DAT again.
void offline_registry_unload();
// The loaded file, as read.
const std::string& offline_registry_bytes();
// Whether a registry is loaded for the seam's calls (never with --keep-registry).
bool offline_registry_loaded();

// With `keep` (--keep-registry), no registry is at hand for the seam's
// calls, whatever was loaded.
void offline_registry_keep(bool keep);
// The loaded registry's HKEY_LOCAL_MACHINE as a key of the seam's calls; 0
// when none is loaded, or it is kept.  The front end's
// platform_local_machine gives it, after reading SYSTEM.DAT.
platform_key offline_registry_root();

// The paths (below HKEY_LOCAL_MACHINE) of the keys deleted so far.
std::vector<std::string> offline_registry_deleted();

// The file with those keys deleted; false with `why_not`.  It is proved
// once, as read back from where it was written (offline_registry_proves).
bool offline_registry_changed(std::string* bytes, std::string* why_not);

// Whether `bytes`, read back after writing, is the change of the loaded
// file: it passes the check, and its listing is the old one less the
// deleted trees.  False with `why_not`.
bool offline_registry_proves(const std::string& bytes, std::string* why_not);

// What the loaded file lists (registry_file.h).
std::vector<registry_entry> offline_registry_listing();

#endif
