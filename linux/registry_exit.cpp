// Exit's last step on Linux: the device keys that the core deleted in the
// offline registry (platform/posix/offline_registry.h) are written as one
// change of the Windows folder's SYSTEM.DAT, on a folder or in a disk image.
//
// The new file is proved before it replaces the old one, and swapped in as
// an INF file is (ops/inf_replace.h), the old one staying as the backup:
//
//   start          SYSTEM.DAT (old)                    [SYSTEM.TX0, an older backup]
//   written        SYSTEM.DAT (old), SYSTEM.TX1 (new, flushed, read back and
//                  proved: the structural check, and the old listing less the
//                  deleted trees; then given the old file's attributes)
//   stale backup   SYSTEM.TX0 deleted
//   first rename   SYSTEM.TX0 (old), SYSTEM.TX1 (new)   <- the only moment with
//   second rename  SYSTEM.TX0 (old), SYSTEM.DAT (new)      no SYSTEM.DAT
//
// A failed write, read or proof deletes SYSTEM.TX1 and leaves the rest; a
// failed second rename renames the backup back.  Interruptions are held
// back from the stale backup's deletion to the second rename, and delete an
// unfinished SYSTEM.TX1 anywhere before.  SYSTEM.TX0 keeps the old file's
// hidden, system and read-only attributes (a rename keeps them); the new
// SYSTEM.DAT is given them before its rename.  No other file of Windows'
// own (SYSTEM.DA0, USER.DAT) is touched.
#include <stdio.h>

#include <algorithm>
#include <string>

#include "dos_attributes.h"
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

// Writes, proves and swaps in the new SYSTEM.DAT; false with `why_not`,
// every file as it was (but an older SYSTEM.TX0, if the first rename failed).
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
    } else {
        platform_swap_begins();
        platform_delete(backup.c_str());  // a backup of an earlier change
        bool renamed = platform_rename(registry.c_str(), backup.c_str());
        if (renamed && !platform_rename(written.c_str(), registry.c_str())) {
            platform_rename(backup.c_str(), registry.c_str());  // never leave the name free
            renamed = false;
        }
        platform_swap_ends();
        if (renamed) return true;
        *why_not = "SYSTEM.DAT could not be renamed to SYSTEM.TX0 and replaced";
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

void tell(const std::string& text, box_icon icon) {
    platform_message_box(text.c_str(), "Finish", icon, buttons_ok);
}

}  // namespace

void write_offline_registry() {
    if (!offline_registry_loaded()) return;  // kept, or the user was told why not
    size_t deleted = offline_registry_deleted().size();
    std::string registry = "the registry of " + shown_windows_dir(), bytes, why;
    if (deleted == 0) {
        tell("None of the ten devices is in " + registry + ": it was left as it was.",
             icon_information);
    } else if (offline_registry_changed(&bytes, &why) && swap_in(bytes, &why)) {
        std::string devices = deleted == 10 ? "The ten devices were"
                                            : std::to_string(deleted) + " of the ten devices were";
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
    std::string bytes, why;
    bool missing = false;
    bool loaded = read_system_dat(system_dat_path("SYSTEM.DAT"), &bytes, &why, &missing) &&
                  offline_registry_load(bytes, &why);
    if (missing) return;
    if (loaded) {
        delete_device_keys();
        printf("SYSTEM.DAT: holds %zu of the ten device keys\n", offline_registry_deleted().size());
    } else {
        printf("SYSTEM.DAT: not read as a registry: %s\n", why.c_str());
    }
    offline_registry_unload();
    fflush(stdout);
}
