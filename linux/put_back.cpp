// Before a run reads the Windows folder, what a swap cut off between its
// renames left is put back (ops/file_swap.h): in a disk image
// SYSTEM.TX0 (old) and SYSTEM.TX1 (new) with no SYSTEM.DAT; anywhere an
// INF file's backup (MACHINE.IN@) with no MACHINE.INF, its new text maybe
// in OUT.INF.  Status does it too, so that it never counts the lines of a
// file that is not there, and a kind of Windows is never read from a
// registry that is missing.
//
// An INF file always gets its old text back: OUT.INF is shared by both
// files, so nothing tells which one it was written for.  SYSTEM.DAT gets
// SYSTEM.TX1 where it passes the check and lists what SYSTEM.TX0 lists less
// some of the ten device keys' trees, as Exit writes it; else SYSTEM.TX0.
#include "put_back.h"

#include <ctype.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../ops/file_swap.h"
#include "../platform/posix/offline_registry.h"
#include "../platform/file_backend.h"
#include "../system/system.h"
#include "voice.h"

namespace {

// One file that a swap replaces: its name, its backup, and the new file
// that may take its name.
struct swapped_file {
    std::string target, backup, written;
    swap_accepts accepts_new;
};

// The keys of the ten that the registry at `path` holds, and its listing;
// false when it does not pass the check.
bool device_keys_of(const char* path, std::vector<std::string>* keys,
                    std::vector<registry_entry>* listing) {
    offline_registry registry;
    std::string why;
    if (!offline_registry_open(path, &registry, &why)) return false;
    *keys = offline_registry_held(registry, kDeviceKeys, kDeviceKeyCount);
    *listing = offline_registry_listing(registry);
    return true;
}

// Whether SYSTEM.TX1 is what Exit makes of SYSTEM.TX0: it passes the
// check, and its listing is SYSTEM.TX0's less the trees of those of the ten
// keys that it no longer holds.
bool registry_accepts_new(void*, const char* backup, const char* written) {
    std::vector<std::string> old_keys, new_keys;
    std::vector<registry_entry> old_listing, new_listing;
    bool accepted = device_keys_of(backup, &old_keys, &old_listing) &&
                    device_keys_of(written, &new_keys, &new_listing);
    if (accepted) {
        std::vector<std::string> gone;
        for (const std::string& key : old_keys)
            if (std::find(new_keys.begin(), new_keys.end(), key) == new_keys.end())
                gone.push_back(key);
        accepted = new_listing == listing_without(old_listing, gone);
    }
    return accepted;
}

// The INF file `target` of the Windows folder as the core's swap names it:
// the file a link names, its backup the name with its last letter "@", the
// new text OUT.INF beside it.  Where only the backup is there, the file
// gets the backup's name as it is on disk (MACHINE.IN@ gives MACHINE.INF),
// not the lower case of the core's own names.
swapped_file inf_file(inf_target target) {
    char real[4096];
    std::string path = target_path(target);
    if (platform_real_path(path.c_str(), real, sizeof real)) path = real;
    char last = path.back();
    std::string backup = path.substr(0, path.size() - 1) + "@";
    if (platform_real_path(backup.c_str(), real, sizeof real)) backup = real;
    bool capitals = backup.size() >= 2 && isupper((unsigned char)backup[backup.size() - 2]);
    path = backup.substr(0, backup.size() - 1) + (char)(capitals ? toupper(last) : tolower(last));
    std::string written = path.substr(0, path.find_last_of("\\/") + 1) + "out.inf";
    if (platform_real_path(written.c_str(), real, sizeof real)) written = real;
    return {path, backup, written, nullptr};
}

// A path as messages show it, with the names as they are on disk.
std::string shown(const std::string& path) {
    char real[4096], text[4096];
    if (!platform_real_path(path.c_str(), real, sizeof real))
        snprintf(real, sizeof real, "%s", path.c_str());
    platform_shown_path(real, text, sizeof text);
    return text;
}

std::string name_of(const std::string& path) {
    std::string text = shown(path);
    return text.substr(text.find_last_of("\\/:") + 1);
}

// The attributes Windows keeps on its registry, as a phrase.
std::string attributes_of(const std::string& path) {
    uint32_t attributes = 0;
    if (platform_files->get_attributes(path.c_str(), &attributes) != attributes_kept) return "";
    std::string names;
    for (auto named : {std::make_pair(kDosHidden, "hidden"), std::make_pair(kDosSystem, "system"),
                       std::make_pair(kDosReadOnly, "read-only")})
        if (attributes & named.first)
            names += std::string(names.empty() ? "" : ", ") + named.second;
    return names.empty() ? ", with no attributes" : ", still " + names;
}

// The backup's name where `file` is missing and its backup is there.
std::string left_in_backup(const swapped_file& file) {
    return swap_cut_off(file.target.c_str(), file.backup.c_str()) ? name_of(file.backup) : "";
}

void tell_put_back(const swapped_file& file, put_back_outcome outcome) {
    std::string name = shown(file.target), text;
    switch (outcome) {
        case swap_not_cut_off: return;
        case put_back_old:
            text = name + " was missing after a run that was cut off: " + name_of(file.backup) +
                   ", its old text, was given its name back";
            break;
        case put_back_new:
            text = name + " was missing after a run that was cut off: " + name_of(file.written) +
                   ", the new file that run had written and proved, was given its name";
            break;
        case put_back_finished:
            text = name + " held its new text under a second name, " + name_of(file.written) +
                   ", after a run that was cut off: that name was removed";
            break;
        case put_back_failed:
            tell(name + " is missing after a run that was cut off, and " + name_of(file.backup) +
                 ", which holds the old file, could not be given its name back.");
            return;
    }
    if (file.accepts_new != nullptr) text += attributes_of(file.target);
    platform_message_box((text + ".").c_str(), "Put back", icon_information, buttons_ok);
}

}  // namespace

void put_back_cut_off_swaps(bool may_change) {
    // A folder whose paths do not fit: the run that follows tells so.
    char folder[kPathSize];
    uint32_t length = platform_windows_dir(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder || !read_windows_dir()) return;
    std::vector<swapped_file> files = {inf_file(chipset_file), inf_file(usb_file)};
    files.push_back({system_dat_path("SYSTEM.DAT"), system_dat_path("SYSTEM.TX0"),
                     system_dat_path("SYSTEM.TX1"), registry_accepts_new});
    bool cut_off = false;
    for (const swapped_file& file : files)
        cut_off = cut_off || swap_cut_off(file.target.c_str(), file.backup.c_str()) ||
                  platform_same_file(file.target.c_str(), file.written.c_str());
    if (cut_off && !may_change) {
        tell("A run that was cut off left a file of this Windows under its backup name.  This "
             "command reads the image without changing it, so the next Install or Uninstall "
             "puts it back.");
        return;
    }
    // The lock of a run: another Tamrix between its renames is no crash.
    if (!cut_off || !platform_begin_run((std::string(windows_dir) + "\\inf").c_str())) return;
    for (const swapped_file& file : files) {
        // Only SYSTEM.DAT keeps its backup.
        file_swap swap = {file.target.c_str(), file.written.c_str(), file.backup.c_str(),
                          file.accepts_new != nullptr, nullptr, nullptr, nullptr};
        tell_put_back(file, put_back_cut_off(swap, file.accepts_new));
    }
    platform_end_run();
}

std::string inf_left_in_backup(inf_target target) { return left_in_backup(inf_file(target)); }

std::string registry_left_in_backup() {
    return left_in_backup(
        {system_dat_path("SYSTEM.DAT"), system_dat_path("SYSTEM.TX0"), "", nullptr});
}
