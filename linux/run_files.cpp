// The files of the Linux program's runs (see run_files.h).  A file
// opened for writing is unfinished until it is renamed into place or
// deleted: an interruption deletes it.  After each call a signal that came
// meanwhile is acted on (base/interruptions.h).
#include "run_files.h"

#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../disk/image_checks.h"
#include "../disk/image_files.h"
#include "../platform/posix/posix_files.h"
#include "../base/interruptions.h"
#include "open_image.h"
#include "voice.h"

namespace {

int folder_lock = kNoLock;  // the INF folder, held by this run (an image: the_image.held)

// Where a path or a file is: in the attached disk image, or in a Linux
// folder (the Windows folder, or a scratch folder of a dry run's).
const file_backend* place_of(const char* path) {
    return is_image_path(path) ? &image_file_backend : &folder_file_backend;
}
const file_backend* place_of(platform_file file) {
    return is_image_file(file) ? &image_file_backend : &folder_file_backend;
}

void delete_in_folder(const char* name) { folder_file_backend.remove(name); }
void delete_in_image(const char* name) { image_file_backend.remove(name); }

// Tells the user that a name of the Windows folder is a link that leads
// out of it, which no call follows.
void tell_refused_link() {
    static std::vector<std::string> told;  // once for each link is enough
    std::string link, target;
    if (!posix_take_refused_link(&link, &target) ||
        std::find(told.begin(), told.end(), link) != told.end())
        return;
    told.push_back(link);
    std::string text = link + " is a link that leads out of the Windows folder, to " + target +
                       ": Tamrix does not follow it, and leaves both as they are.";
    platform_message_box(text.c_str(), "Tamrix", icon_error, buttons_ok);
}

// Tells the user why a copy into the image failed, when the want of room
// says it, before the caller tells that the file could not be written.
void tell_why_not_copied() {
    image_copy_failure failure;
    if (!image_take_copy_failure(&failure)) return;
    const std::string& image = the_image.shown;
    // The journal undoes this one copy; what the run changed before it stays.
    std::string then = failure.put_back ? ", and this step was undone."
                                        : ", and this step could not be undone: check the "
                                          "image with fsck.fat.";
    std::string text =
        failure.why == copy_host_full
            ? "The disk that holds " + image + " is full: the file system on " +
                  mount_point_of(image) + " has " + std::to_string(failure.free) +
                  " bytes free; " + failure.name + " could not be copied into the image" + then
            : "The FAT volume of " + image + " is full: " + failure.name + " needs " +
                  std::to_string(failure.needed) + " bytes, " + std::to_string(failure.free) +
                  " are free" + then;
    tell(text);
}

// How an unfinished file is named for its deletion: a Linux path, or a
// path in the image.
std::string deletion_name(const char* path) {
    return is_image_path(path) ? std::string(path) : posix_linux_path(path);
}

// A file is unfinished from its open for writing until it is renamed into
// place, deleted or kept (platform_keep_file): whoever makes the call, the
// entry goes with it, and an interruption deletes only what is unfinished.
bool run_open_write(const char* path, platform_file* file, write_mode mode) {
    std::string name = deletion_name(path);
    interruptions_note_unfinished(name.c_str(),
                                  is_image_path(path) ? delete_in_image : delete_in_folder);
    bool opened = place_of(path)->open_write(path, file, mode);
    if (!opened) interruptions_forget_unfinished(name.c_str());
    tell_refused_link();
    interruptions_check();
    return opened;
}

// A rename of this run's file into place: the file under `to` is changed.
void note_renamed(bool renamed, const char* from, const char* to) {
    if (renamed && interruptions_forget_unfinished(deletion_name(from).c_str())) {
        char shown[4096];
        place_of(to)->shown_path(to, shown, sizeof shown);
        interruptions_note_changed(shown);
    }
    tell_refused_link();
    interruptions_check();
}

bool run_rename(const char* from, const char* to) {
    // Never from the image to a folder, nor the other way.
    bool renamed = is_image_path(from) == is_image_path(to) && place_of(from)->rename(from, to);
    note_renamed(renamed, from, to);
    return renamed;
}

bool run_rename_over(const char* from, const char* to) {
    bool renamed = is_image_path(from) == is_image_path(to) && place_of(to)->renames_over(to) &&
                   place_of(to)->rename_over(from, to);
    note_renamed(renamed, from, to);
    return renamed;
}

bool run_delete(const char* path) {
    bool deleted = place_of(path)->remove(path);
    if (deleted) interruptions_forget_unfinished(deletion_name(path).c_str());
    tell_refused_link();
    interruptions_check();
    return deleted;
}

// Gives what `call` gives, once the user has been told why a copy into the
// image failed (if so), and a signal that came meanwhile has been acted on.
template <typename Call>
auto then_check(Call call) -> decltype(call()) {
    auto result = call();
    tell_why_not_copied();
    tell_refused_link();
    interruptions_check();
    return result;
}

}  // namespace

void install_run_files() {
    // Each call goes to the place of its path or file, with the unfinished
    // files noted.
    static const file_backend run_files = {
        [](const char* path, platform_file* file) {
            return then_check([&] { return place_of(path)->open_read(path, file); });
        },
        run_open_write,
        [](platform_file file, char* buffer, uint32_t size) {
            return then_check([&] { return place_of(file)->read(file, buffer, size); });
        },
        [](platform_file file, const char* data, uint32_t size) {
            return then_check([&] { return place_of(file)->write(file, data, size); });
        },
        [](platform_file from, uint32_t offset, platform_file to, uint32_t size) {
            if (place_of(from) != place_of(to)) return copy_not_offered;
            return then_check([&] { return place_of(to)->copy(from, offset, to, size); });
        },
        [](platform_file file, uint32_t offset) { return place_of(file)->seek(file, offset); },
        [](platform_file file) { return then_check([&] { return place_of(file)->flush(file); }); },
        [](platform_file file) { return then_check([&] { return place_of(file)->close(file); }); },
        run_rename,
        run_delete,
        [](const char* path, char* real, uint32_t size) {
            return place_of(path)->real_path(path, real, size);
        },
        [](const char* path, char* shown, uint32_t size) {
            place_of(path)->shown_path(path, shown, size);
        },
        [](const char* to) { return place_of(to)->renames_over(to); },
        run_rename_over,
        [](const char* first, const char* second) {
            return is_image_path(first) == is_image_path(second) &&
                   place_of(first)->same_file(first, second);
        },
        [](const char* path, uint32_t* attributes) {
            return then_check([&] { return place_of(path)->get_attributes(path, attributes); });
        },
        [](const char* path, uint32_t attributes) {
            return then_check([&] { return place_of(path)->set_attributes(path, attributes); });
        },
        [](const char* from, const char* to) {
            return is_image_path(from) == is_image_path(to) &&
                   then_check([&] { return place_of(to)->copy_attributes(from, to); });
        },
        [](const char* path) {
            // A new file of this run's that stays: it differs from before the run.
            interruptions_forget_unfinished(deletion_name(path).c_str());
            char shown[4096];
            place_of(path)->shown_path(path, shown, sizeof shown);
            interruptions_note_changed(shown);
        },
    };
    platform_files = &run_files;
}

// ---- one run at a time ----------------------------------------------------------
// A folder is held by a lock on it for each run; an image by locks on the
// image file, which also keep out a virtual machine that has it open, from
// its opening to the end of the process (open_image.cpp): the dialog holds
// it for as long as it is open, and Exit's registry step is inside it.

bool run_files_begin(const char* inf_folder) {
    bool in_image = is_image_path(inf_folder);
    image_lock_result lock = in_image ? image_lock() : image_locked;
    if (!in_image) folder_lock = posix_lock_folder(inf_folder);
    if (lock == image_locked && folder_lock != kFolderBusy) return true;
    char shown[4096];
    if (in_image)
        snprintf(shown, sizeof shown, "%s", the_image.shown.c_str());
    else
        folder_file_backend.shown_path(inf_folder, shown, sizeof shown);
    tell(held_text(in_image ? lock : image_held_by_tamrix, shown));
    return false;
}

void run_files_end() {
    interruptions_forget_all();
    posix_unlock_folder(folder_lock);
    folder_lock = kNoLock;
}
