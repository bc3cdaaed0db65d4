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
    if (swap.rename_over != 0) {
        if (swap.keep_backup && (swap.copy_backup == 0 || !swap.copy_backup(swap.backup))) {
            platform_delete(swap.backup);
            return swap_backup_failed;
        }
        return swap.rename_over(swap.written, swap.target) ? swap_done : swap_rename_failed;
    }
    if (!platform_rename(swap.target, swap.backup)) return swap_rename_failed;
    if (!platform_rename(swap.written, swap.target)) {
        platform_rename(swap.backup, swap.target);  // never leave the name free
        return swap_rename_failed;
    }
    return swap_done;
}

swap_outcome replace_by_rename(const file_swap& swap) {
    if (swap.ready != 0 && !swap.ready(swap.written)) {
        platform_delete(swap.written);
        return swap_not_ready;
    }
    platform_swap_begins();
    platform_delete(swap.backup);  // a backup left by an earlier swap blocks the first rename
    swap_outcome outcome = rename_in(swap);
    if (outcome == swap_done && !swap.keep_backup) {
        platform_delete(swap.written);  // already gone: only the backup is really removed
        platform_delete(swap.backup);
    }
    platform_swap_ends();
    return outcome;
}

bool swap_cut_off(const char* target, const char* backup) {
    return !exists(target) && exists(backup);
}

put_back_outcome put_back_cut_off(const char* target, const char* backup, const char* written,
                                  swap_accepts accepts_new) {
    if (!swap_cut_off(target, backup)) return swap_not_cut_off;
    bool take_new = written != 0 && accepts_new != 0 && exists(written) &&
                    accepts_new(backup, written);
    platform_swap_begins();
    bool renamed = platform_rename(take_new ? written : backup, target);
    platform_swap_ends();
    if (!renamed) return put_back_failed;
    return take_new ? put_back_new : put_back_old;
}
