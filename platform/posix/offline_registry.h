// The registry of a Windows being patched, on Linux: a SYSTEM.DAT
// (HKEY_LOCAL_MACHINE) read whole and checked (registry_file.h), as an
// object, with the keys deleted from it collected in memory.  Any number
// can be open at once: the repair of a cut-off swap compares SYSTEM.TX0
// with SYSTEM.TX1, and status counts keys without deleting any.
//
// The seam's registry calls act on one of them, the run's registry: the
// Windows folder's SYSTEM.DAT, read the first time a run asks, whose
// deletions the front end's Exit writes at the end as one change of the
// file.  Until it is read, or after run_registry_forget, there is none:
// run_registry_root gives 0 and every call fails, as the core expects of a
// registry that is not at hand.  Nothing here speaks to the user: a
// refusal is an outcome and a reason, which the front end words.
#ifndef TAMRIX_PLATFORM_POSIX_OFFLINE_REGISTRY_H
#define TAMRIX_PLATFORM_POSIX_OFFLINE_REGISTRY_H

#include <stdint.h>

#include <set>
#include <string>
#include <vector>

#include "../../registry/registry_file.h"
#include "../platform.h"

// One SYSTEM.DAT.  Empty (no root) until offline_registry_load has taken
// a file that passed the check.
struct offline_registry {
    std::string bytes;                 // the file, as read
    registry_layout layout;            // what the check found in it
    std::vector<uint32_t> deleted;     // the nodes of the keys deleted so far, in order
    std::set<uint32_t> deleted_nodes;  // the same, to look up
};

// A file of the Windows folder beside SYSTEM.DAT, as the seam's file calls
// name it; "" when there is no Windows folder.
std::string system_dat_path(const char* name);
// The file at `path`, whole, read through the seam's file calls; false with
// `why_not` for the user, and `missing` set when there is no such file.
bool read_system_dat(const std::string& path, std::string* bytes, std::string* why_not,
                     bool* missing = nullptr);

// Takes `bytes`, a SYSTEM.DAT, into `registry` (forgetting what it held),
// if it passes the structural check; else false with `why_not` for the
// user, and `registry` empty.
bool offline_registry_load(const std::string& bytes, offline_registry* registry,
                           std::string* why_not);
// The same for the file at `path`, read through the seam's file calls.
bool offline_registry_open(const std::string& path, offline_registry* registry,
                           std::string* why_not, bool* missing = nullptr);

// VersionNumber and SubVersionNumber of the key
// SOFTWARE\Microsoft\Windows\CurrentVersion, without a NUL at their end;
// false when it records no VersionNumber (`service` is "" where there is
// no SubVersionNumber).
bool offline_registry_version(const offline_registry& registry, std::string* version,
                              std::string* service);

// Whether the registry names its PCI devices as Windows 98 and Me do, with
// the subsystem and revision: Enum\PCI\VEN_8086&DEV_7113&SUBSYS_00000000&
// REV_08 (the real Windows ME SYSTEM.DAT of the tests) where Windows 95 has
// Enum\PCI\VEN_8086&DEV_7113.  None of the ten keys, which are the Windows
// 95 names, is then found.
bool offline_registry_names_pci_as_windows98(const offline_registry& registry);

// Of the `count` keys at `paths` (below HKEY_LOCAL_MACHINE), those that the
// registry holds, not deleted, as it names them, in the order of `paths`:
// the keys that platform_reg_delete_key would delete.  Nothing is deleted.
std::vector<std::string> offline_registry_held(const offline_registry& registry,
                                               const char* const* paths, uint32_t count);

// The paths (below HKEY_LOCAL_MACHINE) of the keys deleted so far.
std::vector<std::string> offline_registry_deleted(const offline_registry& registry);

// The file with those keys deleted; false with `why_not`.  It is proved
// once, as read back from where it was written (offline_registry_proves).
bool offline_registry_changed(const offline_registry& registry, std::string* bytes,
                              std::string* why_not);

// Whether `bytes`, read back after writing, is the change of the registry:
// it passes the check, and its listing is the old one less the deleted
// trees.  False with `why_not`.
bool offline_registry_proves(const offline_registry& registry, const std::string& bytes,
                             std::string* why_not);

// What the registry lists (registry_file.h).
std::vector<registry_entry> offline_registry_listing(const offline_registry& registry);

// ---- the run's registry
// ------------------------------------------------------------

// The Windows folder's SYSTEM.DAT, read and checked the first time a run
// asks, as soon as the Windows folder is known; every later call gives the
// same answer without reading again.  The kind of Windows, status and Exit
// all ask here.
enum registry_reading {
    registry_absent,   // the folder has no SYSTEM.DAT
    registry_refused,  // it cannot be read, or does not pass the check: `why_not`
    registry_read,     // loaded
};
registry_reading run_registry_read(std::string* why_not);
// The run's registry, as read; empty when it was not.
const offline_registry& run_registry();
// Forgets the run's registry and its reading: the next run_registry_read
// reads SYSTEM.DAT again.
void run_registry_forget();

// With `keep` (--keep-registry), no registry is at hand for the seam's
// calls, whatever was read.
void run_registry_keep(bool keep);
// Whether the run's registry is at hand for the seam's calls (never with
// --keep-registry).
bool run_registry_at_hand();
// The run's registry's HKEY_LOCAL_MACHINE as a key of the seam's calls; 0
// when it is not at hand.  platform_local_machine gives it, after reading
// SYSTEM.DAT.
platform_key run_registry_root();

#endif
