// The swap by renaming and its repair (see file_swap.h).
#include "file_swap.h"

static bool exists(const char* path) {
    platform_file file;
    open_status status = platform_open_read(path, &file);
    if (status == open_ok) platform_close(file);
    return status != open_missing;
}

// The renames, once the stale backup is gone.
static swap_outcome rename_in(const file_swap& swap) {
    if (platform_renames_over(swap.target)) {
        if (swap.keep_backup &&
            (swap.copy_backup == 0 || !swap.copy_backup(swap.context, swap.backup) ||
             !platform_copy_attributes(swap.target, swap.backup))) {
            platform_delete(swap.backup);
            return swap_backup_failed;
        }
        return platform_rename_over(swap.written, swap.target) ? swap_done : swap_rename_failed;
    }
    if (!platform_rename(swap.target, swap.backup)) return swap_rename_failed;
    if (!platform_rename(swap.written, swap.target)) {
        platform_rename(swap.backup, swap.target);  // never leave the name free
        return swap_rename_failed;
    }
    return swap_done;
}

swap_outcome replace_by_rename(const file_swap& swap) {
    if (swap.ready != 0 && !swap.ready(swap.context, swap.written)) {
        platform_delete(swap.written);
        return swap_not_ready;
    }
    if (!platform_copy_attributes(swap.target, swap.written)) {
        platform_delete(swap.written);
        return swap_no_attributes;
    }
    platform_swap_begins();
    platform_delete(swap.backup);  // a backup left by an earlier swap blocks the first rename
    swap_outcome outcome = rename_in(swap);
    if (outcome == swap_done && swap.keep_backup) {
        platform_keep_file(swap.backup);
    } else if (outcome == swap_done) {
        platform_delete(swap.written);  // already gone: only the backup is really removed
        platform_delete(swap.backup);
    }
    platform_swap_ends();
    return outcome;
}

bool swap_cut_off(const char* target, const char* backup) {
    return !exists(target) && exists(backup);
}

put_back_outcome put_back_cut_off(const file_swap& swap, swap_accepts accepts_new) {
    if (swap.written != 0 && platform_same_file(swap.target, swap.written)) {
        platform_swap_begins();
        bool finished = platform_delete(swap.written);  // a name, not the file
        if (finished && !swap.keep_backup) platform_delete(swap.backup);
        platform_swap_ends();
        return finished ? put_back_finished : put_back_failed;
    }
    if (!swap_cut_off(swap.target, swap.backup)) return swap_not_cut_off;
    bool take_new = swap.written != 0 && accepts_new != 0 && exists(swap.written) &&
                    accepts_new(swap.context, swap.backup, swap.written);
    platform_swap_begins();
    bool renamed = platform_rename(take_new ? swap.written : swap.backup, swap.target);
    platform_swap_ends();
    if (!renamed) return put_back_failed;
    return take_new ? put_back_new : put_back_old;
}
