// Exit's last step on Linux: the device keys that the core deleted in the
// offline registry (platform/posix/offline_registry.h) are written as one
// change of the Windows folder's SYSTEM.DAT, on a folder or in a disk image,
// by the swap of ops/file_swap.h: the new file is written as SYSTEM.TX1,
// read back and proved (the structural check, and the old listing less the
// deleted trees) and given the old file's attributes, then swapped in; the
// old one stays as the backup SYSTEM.TX0.  In a Linux folder one rename(2)
// of SYSTEM.TX1 over SYSTEM.DAT does it, after SYSTEM.TX0 is written anew
// and flushed, so that there is never a moment without SYSTEM.DAT; mtools
// cannot rename over a name, so in a disk image the old file itself
// becomes SYSTEM.TX0 and two renames follow.
//
// The attributes Windows keeps on SYSTEM.DAT (hidden, system, read-only)
// go with each file (a rename keeps them).  No other file of Windows' own
// (SYSTEM.DA0, USER.DAT) is touched.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "../disk/image_files.h"
#include "../ops/file_swap.h"
#include "../platform/posix/offline_registry.h"
#include "../platform/posix/posix_files.h"
#include "dos_attributes.h"
#include "../system/system.h"
#include "front_end.h"

namespace {

// The SYSTEM.DAT being replaced, for the hooks of its swap.
attributes_read old_attributes_read;  // whether its attributes were read
uint32_t old_attributes;              // and which they are
std::string not_ready;                // why SYSTEM.TX1 did not prove

bool write_whole(const char* path, const std::string& bytes) {
    platform_file file;
    if (!platform_open_write(path, &file)) return false;
    bool written = true;
    for (size_t done = 0; written && done < bytes.size(); done += 65536)
        written = platform_write(file, bytes.data() + done,
                                 (uint32_t)std::min<size_t>(65536, bytes.size() - done));
    written = written && platform_flush(file);
    return platform_close(file) && written;
}

bool give_old_attributes(const char* path) {
    return old_attributes_read != attributes_kept || set_dos_attributes(path, old_attributes);
}

// The swap's proof: SYSTEM.TX1 read back, proved, and given the attributes.
bool ready(const char* written) {
    std::string read_back, why;
    if (!read_system_dat(written, &read_back, &why) || !offline_registry_proves(read_back, &why)) {
        not_ready = "SYSTEM.TX1, the new registry, did not read back as written (" + why + ")";
        return false;
    }
    not_ready = "SYSTEM.TX1, the new registry, could not be given SYSTEM.DAT's attributes";
    return give_old_attributes(written);
}

// The backup in a Linux folder: the old bytes, flushed, with the attributes.
bool copy_backup(const char* backup) {
    return write_whole(backup, offline_registry_bytes()) && give_old_attributes(backup);
}

// In a Linux folder: renames `from` over `to` in one step, then flushes
// their folder, so that the new name outlives a crash.
bool rename_over(const char* from, const char* to) {
    std::string target = posix_linux_path(to);
    if (rename(posix_linux_path(from).c_str(), target.c_str()) != 0) return false;
    size_t slash = target.find_last_of('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0                ? "/"
                                                     : target.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool flushed = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) close(fd);
    return flushed;
}

// Writes, proves and swaps in the new SYSTEM.DAT; false with `why_not`,
// every file as it was (but an older SYSTEM.TX0).
bool swap_in(const std::string& bytes, std::string* why_not) {
    std::string registry = system_dat_path("SYSTEM.DAT"), backup = system_dat_path("SYSTEM.TX0"),
                written = system_dat_path("SYSTEM.TX1");
    old_attributes_read = get_dos_attributes(registry.c_str(), &old_attributes);
    if (old_attributes_read == attributes_failed) {
        *why_not = "SYSTEM.DAT's attributes could not be read";
        return false;
    }
    bool in_folder = !is_image_path(registry.c_str());
    file_swap swap = {registry.c_str(), written.c_str(), backup.c_str(), true, ready,
                      in_folder ? rename_over : 0, copy_backup};
    swap_outcome outcome = swap_not_ready;
    if (!write_whole(written.c_str(), bytes))
        *why_not = "SYSTEM.TX1, the new registry, could not be written";
    else if ((outcome = replace_by_rename(swap)) == swap_done)
        return true;
    else if (outcome == swap_not_ready)
        *why_not = not_ready;  // SYSTEM.TX1 is deleted already
    else if (outcome == swap_backup_failed)
        *why_not = "SYSTEM.TX0, the backup of SYSTEM.DAT, could not be written";
    else
        *why_not = in_folder ? "SYSTEM.TX1 could not be renamed over SYSTEM.DAT"
                             : "SYSTEM.DAT could not be renamed to SYSTEM.TX0 and replaced";
    if (outcome != swap_not_ready) platform_delete(written.c_str());
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

void tell_at_exit(const std::string& text, box_icon icon) {
    platform_message_box(text.c_str(), "Finish", icon, buttons_ok);
}

}  // namespace

// The seam's registry root on Linux: SYSTEM.DAT, read once per run.  Where
// it cannot be read as a registry, the user is told once why it is left
// alone; a folder without SYSTEM.DAT (a copy of the INF files alone) has no
// registry to speak of: the core's note on Device Manager says enough.
platform_key platform_local_machine() {
    static bool refusal_told;  // the user was told why the registry is left alone
    std::string why;
    if (!invocation.keep_registry && offline_registry_read(&why) == registry_refused &&
        !refusal_told) {
        refusal_told = true;
        tell_at_exit("The registry of " + shown_windows_dir() + " was left as it was: " + why + ".",
             icon_information);
    }
    return offline_registry_root();
}

void write_offline_registry() {
    if (!offline_registry_loaded()) return;  // kept, or the user was told why not
    size_t deleted = offline_registry_deleted().size();
    std::string registry = "the registry of " + shown_windows_dir(), bytes, why;
    if (deleted == 0) {
        tell_at_exit("None of the ten devices is in " + registry + windows98_note() +
                 ": it was left as it was.",
             icon_information);
    } else if (offline_registry_changed(&bytes, &why) && swap_in(bytes, &why)) {
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
        for (const std::string& key : offline_registry_deleted())
            text += "\n    " + key.substr(key.find('\\') + 1);
        tell_at_exit(text, icon_error);
    }
    offline_registry_unload();
}

// The core's own deletions, made in memory and counted: the keys it would
// delete are those the file holds.
bool show_registry_status() {
    std::string why;
    registry_reading reading = offline_registry_read(&why);
    std::string backup = registry_left_in_backup();
    if (!backup.empty())
        printf("SYSTEM.DAT: missing (a run that was cut off left the old registry in %s)\n",
               backup.c_str());
    if (reading == registry_absent) return backup.empty();
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
    return backup.empty();
}
