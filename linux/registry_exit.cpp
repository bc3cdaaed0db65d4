// Exit's last step on Linux: the device keys that the core deleted in the
// offline registry (platform/posix/offline_registry.h) are written as one
// change of the Windows folder's SYSTEM.DAT, on a folder or in a disk image.
//
// The new file is proved before it replaces the old one, and the old one
// stays as the backup SYSTEM.TX0.  In a Linux folder one rename puts the
// new file in place, so that there is no moment without SYSTEM.DAT:
//
//   start          SYSTEM.DAT (old)                    [SYSTEM.TX0, an older backup]
//   written        SYSTEM.DAT (old), SYSTEM.TX1 (new, flushed, read back and
//                  proved: the structural check, and the old listing less the
//                  deleted trees; then given the old file's attributes)
//   backup         SYSTEM.TX0 deleted, then written anew: the old bytes,
//                  flushed, given the same attributes
//   rename         SYSTEM.TX0 (old), SYSTEM.DAT (new; SYSTEM.TX1 renamed
//                  over the old one, the folder flushed)
//
// mtools cannot rename over a name, so in a disk image the old file itself
// becomes the backup, and two renames follow the stale backup's deletion:
//
//   first rename   SYSTEM.TX0 (old), SYSTEM.TX1 (new)   <- the only moment with
//   second rename  SYSTEM.TX0 (old), SYSTEM.DAT (new)      no SYSTEM.DAT
//
// A crash between them is repaired by the next run before anything else
// (put_back.cpp).  A failed write, read or proof deletes SYSTEM.TX1 and
// leaves the rest; a failed second rename renames the backup back.
// Interruptions are held back from the stale backup's deletion to the last
// rename, and delete an unfinished SYSTEM.TX1 anywhere before.  The
// attributes Windows keeps on SYSTEM.DAT (hidden, system, read-only) go
// with each file (a rename keeps them).  No other file of Windows' own
// (SYSTEM.DA0, USER.DAT) is touched.
#include <stdio.h>

#include <algorithm>
#include <string>

#include "dos_attributes.h"
#include "file_swap.h"
#include "../platform/posix/offline_registry.h"
#include "../system/system.h"
#include "front_end.h"

namespace {

bool write_whole(const std::string& path, const std::string& bytes) {
    platform_file file;
    if (!platform_open_write(path.c_str(), &file)) return false;
    bool written = true;
    for (size_t done = 0; written && done < bytes.size(); done += 65536)
        written = platform_write(file, bytes.data() + done,
                                 (uint32_t)std::min<size_t>(65536, bytes.size() - done));
    written = written && platform_flush(file);
    return platform_close(file) && written;
}

// Writes `bytes` to `path`, flushed, with `attributes` where `kept`.
bool write_with_attributes(const std::string& path, const std::string& bytes, attributes_read kept,
                           uint32_t attributes) {
    return write_whole(path, bytes) &&
           (kept != attributes_kept || set_dos_attributes(path.c_str(), attributes));
}

// The renames: one over SYSTEM.DAT in a folder, after the backup is
// written; two in an image.  False with every file as it was (but an older
// SYSTEM.TX0).
bool rename_in(const std::string& registry, const std::string& backup, const std::string& written,
               attributes_read kept, uint32_t attributes, std::string* why_not) {
    platform_swap_begins();
    platform_delete(backup.c_str());  // a backup of an earlier change
    bool renamed;
    if (one_rename_replaces(registry.c_str())) {
        renamed = write_with_attributes(backup, offline_registry_bytes(), kept, attributes);
        if (!renamed) {
            platform_delete(backup.c_str());
            *why_not = "SYSTEM.TX0, the backup of SYSTEM.DAT, could not be written";
        } else if (!(renamed = rename_over(written.c_str(), registry.c_str()))) {
            *why_not = "SYSTEM.TX1 could not be renamed over SYSTEM.DAT";
        }
    } else {
        renamed = platform_rename(registry.c_str(), backup.c_str());
        if (renamed && !platform_rename(written.c_str(), registry.c_str())) {
            platform_rename(backup.c_str(), registry.c_str());  // never leave the name free
            renamed = false;
        }
        if (!renamed) *why_not = "SYSTEM.DAT could not be renamed to SYSTEM.TX0 and replaced";
    }
    platform_swap_ends();
    return renamed;
}

// Writes, proves and swaps in the new SYSTEM.DAT; false with `why_not`,
// every file as it was (but an older SYSTEM.TX0).
bool swap_in(const std::string& bytes, std::string* why_not) {
    std::string registry = system_dat_path("SYSTEM.DAT"), backup = system_dat_path("SYSTEM.TX0"),
                written = system_dat_path("SYSTEM.TX1"), read_back;
    uint32_t attributes = 0;
    attributes_read kept = get_dos_attributes(registry.c_str(), &attributes);
    if (kept == attributes_failed) {
        *why_not = "SYSTEM.DAT's attributes could not be read";
        return false;
    }
    if (!write_whole(written, bytes)) {
        *why_not = "SYSTEM.TX1, the new registry, could not be written";
    } else if (!read_system_dat(written, &read_back, why_not) ||
               !offline_registry_proves(read_back, why_not)) {
        *why_not = "SYSTEM.TX1, the new registry, did not read back as written (" + *why_not + ")";
    } else if (kept == attributes_kept && !set_dos_attributes(written.c_str(), attributes)) {
        *why_not = "SYSTEM.TX1, the new registry, could not be given SYSTEM.DAT's attributes";
    } else if (rename_in(registry, backup, written, kept, attributes, why_not)) {
        return true;
    }
    platform_delete(written.c_str());
    return false;
}

std::string shown_windows_dir() {
    char folder[4096] = "", shown[4096] = "";
    platform_windows_dir(folder, sizeof folder);
    platform_shown_path(folder, shown, sizeof shown);
    return shown;
}

// Where a registry holds none of the ten keys because it names its PCI
// devices the Windows 98 way, what follows "none of the ten devices".
std::string windows98_note() {
    return offline_registry_names_pci_as_windows98()
               ? " (it names its PCI devices as Windows 98 and Me do, "
                 "VEN_xxxx&DEV_xxxx&SUBSYS_xxxxxxxx&REV_xx, not as Windows 95 does)"
               : "";
}

void tell(const std::string& text, box_icon icon) {
    platform_message_box(text.c_str(), "Finish", icon, buttons_ok);
}

}  // namespace

void write_offline_registry() {
    if (!offline_registry_loaded()) return;  // kept, or the user was told why not
    size_t deleted = offline_registry_deleted().size();
    std::string registry = "the registry of " + shown_windows_dir(), bytes, why;
    if (deleted == 0) {
        tell("None of the ten devices is in " + registry + windows98_note() +
                 ": it was left as it was.",
             icon_information);
    } else if (offline_registry_changed(&bytes, &why) && swap_in(bytes, &why)) {
        std::string devices = deleted == 10 ? "The ten devices were"
                              : std::to_string(deleted) + " of the ten devices " +
                                    (deleted == 1 ? "was" : "were");
        tell(devices + " removed from " + registry +
                 " (the previous one is SYSTEM.TX0): Windows detects them anew at its next start.",
             icon_information);
    } else {
        // The core's note, for the devices this registry holds.
        std::string text = "The devices could not be removed from " + registry + ": " + why +
                           ".  It was left as it was.\nAt that Windows' next start, remove these "
                           "devices in Device Manager, then restart it:";
        for (const std::string& key : offline_registry_deleted())
            text += "\n    " + key.substr(key.find('\\') + 1);
        tell(text, icon_error);
    }
    offline_registry_unload();
}

// The core's own deletions, made in memory and counted: the keys it would
// delete are those the file holds.
void show_registry_status() {
    std::string why;
    registry_reading reading = offline_registry_read(&why);
    std::string backup = registry_left_in_backup();
    if (!backup.empty())
        printf("SYSTEM.DAT: missing (a run that was cut off left the old registry in %s)\n",
               backup.c_str());
    if (reading == registry_absent) return;
    if (reading == registry_read) {
        offline_registry_keep(false);  // status counts even with --keep-registry
        delete_device_keys();
        size_t held = offline_registry_deleted().size();
        printf("SYSTEM.DAT: holds %zu of the ten device keys%s\n", held,
               held == 0 ? windows98_note().c_str() : "");
    } else {
        printf("SYSTEM.DAT: not read as a registry: %s\n", why.c_str());
    }
    offline_registry_unload();
    fflush(stdout);
}
