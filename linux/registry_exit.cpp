// Exit's last step on Linux: the device keys that the core deleted in the
// offline registry (platform/posix/offline_registry.h) are written as one
// change of the Windows folder's SYSTEM.DAT, on a folder or in a disk image,
// by the swap of ops/file_swap.h: the new file is written as SYSTEM.TX1,
// read back and proved (the structural check, and the old listing less the
// deleted trees) and given the old file's attributes, then swapped in; the
// old one stays as the backup SYSTEM.TX0.  In a Linux folder one rename of
// SYSTEM.TX1 over SYSTEM.DAT does it, after SYSTEM.TX0 is written anew and
// flushed, so that there is never a moment without SYSTEM.DAT; mtools
// cannot rename over a name, so in a disk image the old file itself
// becomes SYSTEM.TX0 and two renames follow.  Every call goes through the
// run's file layer, which knows SYSTEM.TX1 and SYSTEM.TX0 as this run's
// files: an interruption after the swap keeps SYSTEM.TX0, and names
// SYSTEM.DAT among the files changed.
//
// The attributes Windows keeps on SYSTEM.DAT (hidden, system, read-only)
// go with each file (a rename keeps them).  No other file of Windows' own
// (SYSTEM.DA0, USER.DAT) is touched.
#include "registry_exit.h"

#include <stdio.h>

#include <algorithm>
#include <string>

#include "../disk/image_files.h"
#include "../ops/file_swap.h"
#include "../platform/posix/offline_registry.h"
#include "../system/system.h"
#include "put_back.h"

namespace {

// A file written whole, flushed and closed.  One that could not be written
// completely is deleted at once: no part of a registry is left behind.
bool write_whole(const char* path, const std::string& bytes) {
    platform_file file;
    if (!platform_open_write(path, &file, write_anew)) return false;
    bool written = true;
    for (size_t done = 0; written && done < bytes.size(); done += 65536)
        written = platform_write(file, bytes.data() + done,
                                 (uint32_t)std::min<size_t>(65536, bytes.size() - done));
    written = written && platform_flush(file);
    written = platform_close(file) && written;
    if (!written) platform_delete(path);
    return written;
}

// What the hooks of one swap of SYSTEM.DAT share.
struct registry_swap {
    std::string not_ready;  // why SYSTEM.TX1 did not prove
};

// The swap's proof: SYSTEM.TX1 read back and proved.
bool ready(void* context, const char* written) {
    std::string read_back, why;
    if (read_system_dat(written, &read_back, &why) &&
        offline_registry_proves(run_registry(), read_back, &why))
        return true;
    static_cast<registry_swap*>(context)->not_ready =
        "SYSTEM.TX1, the new registry, did not read back as written (" + why + ")";
    return false;
}

// The backup in a Linux folder: the old bytes, flushed.
bool copy_backup(void*, const char* backup) {
    return write_whole(backup, run_registry().bytes);
}

// Writes, proves and swaps in the new SYSTEM.DAT; false with `why_not`,
// every file as it was (but an older SYSTEM.TX0).
bool swap_in(const std::string& bytes, std::string* why_not) {
    std::string registry = system_dat_path("SYSTEM.DAT"), backup = system_dat_path("SYSTEM.TX0"),
                written = system_dat_path("SYSTEM.TX1");
    registry_swap context;
    bool in_folder = platform_renames_over(registry.c_str());
    file_swap swap = {registry.c_str(), written.c_str(), backup.c_str(), true, ready,
                      copy_backup, &context};
    if (!write_whole(written.c_str(), bytes)) {
        *why_not = "SYSTEM.TX1, the new registry, could not be written";
        return false;
    }
    swap_outcome outcome = replace_by_rename(swap);
    if (outcome == swap_done) return true;
    if (outcome == swap_not_ready)
        *why_not = context.not_ready;  // SYSTEM.TX1 is deleted already
    else if (outcome == swap_no_attributes)
        *why_not = "SYSTEM.TX1, the new registry, could not be given SYSTEM.DAT's attributes";
    else if (outcome == swap_backup_failed)
        *why_not = "SYSTEM.TX0, the backup of SYSTEM.DAT, could not be written";
    else
        *why_not = in_folder ? "SYSTEM.TX1 could not be renamed over SYSTEM.DAT"
                             : "SYSTEM.DAT could not be renamed to SYSTEM.TX0 and replaced";
    if (outcome != swap_not_ready && outcome != swap_no_attributes)
        platform_delete(written.c_str());
    return false;
}

std::string shown_windows_dir() {
    char folder[4096] = "", shown[4096] = "";
    platform_windows_dir(folder, sizeof folder);
    platform_shown_path(folder, shown, sizeof shown);
    return shown;
}

// Where the run's registry holds none of the ten keys because it names its
// PCI devices the Windows 98 way, what follows "none of the ten devices".
std::string windows98_note() {
    return offline_registry_names_pci_as_windows98(run_registry())
               ? " (it names its PCI devices as Windows 98 and Me do, "
                 "VEN_xxxx&DEV_xxxx&SUBSYS_xxxxxxxx&REV_xx, not as Windows 95 does)"
               : "";
}

void tell_at_exit(const std::string& text, box_icon icon) {
    platform_message_box(text.c_str(), "Finish", icon, buttons_ok);
}

}  // namespace

void tell_registry_refused(const char* why) {
    static bool told;  // the core asks once for each device: the user hears it once
    if (told) return;
    told = true;
    tell_at_exit("The registry of " + shown_windows_dir() + " was left as it was: " + why + ".",
                 icon_information);
}

void write_offline_registry() {
    if (!run_registry_at_hand()) return;  // kept, or the user was told why not
    size_t deleted = offline_registry_deleted(run_registry()).size();
    std::string registry = "the registry of " + shown_windows_dir(), bytes, why;
    if (deleted == 0) {
        tell_at_exit("None of the ten devices is in " + registry + windows98_note() +
                 ": it was left as it was.",
             icon_information);
    } else if (offline_registry_changed(run_registry(), &bytes, &why) && swap_in(bytes, &why)) {
        std::string devices = deleted == 10 ? "The ten devices were"
                              : std::to_string(deleted) + " of the ten devices " +
                                    (deleted == 1 ? "was" : "were");
        tell_at_exit(devices + " removed from " + registry +
                 " (the previous one is SYSTEM.TX0): Windows detects them anew at its next start.",
             icon_information);
    } else {
        // The core's note, for the devices this registry holds.
        std::string text = "The devices could not be removed from " + registry + ": " + why +
                           ".  It was left as it was.\n" + kRemoveInDeviceManager;
        for (const std::string& key : offline_registry_deleted(run_registry()))
            text += "\n    " + key.substr(key.find('\\') + 1);
        tell_at_exit(text, icon_error);
    }
    run_registry_forget();
}

// The keys the core would delete are those of the ten that the file holds:
// counted, nothing deleted.
bool show_registry_status() {
    std::string why;
    registry_reading reading = run_registry_read(&why);
    std::string backup = registry_left_in_backup();
    if (!backup.empty())
        printf("SYSTEM.DAT: missing (a run that was cut off left the old registry in %s)\n",
               backup.c_str());
    if (reading == registry_absent) return backup.empty();
    if (reading == registry_read) {
        // Counted even with --keep-registry.
        size_t held = offline_registry_held(run_registry(), kDeviceKeys, kDeviceKeyCount).size();
        printf("SYSTEM.DAT: holds %zu of the ten device keys%s\n", held,
               held == 0 ? windows98_note().c_str() : "");
    } else {
        printf("SYSTEM.DAT: not read as a registry: %s\n", why.c_str());
    }
    run_registry_forget();
    fflush(stdout);
    return backup.empty();
}
