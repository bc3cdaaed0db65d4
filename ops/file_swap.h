// Replacing a file of the Windows folder by renaming: the one swap of the
// INF files (inf_replace.cpp) and of SYSTEM.DAT (the Linux program's Exit),
// and the one repair of a swap that a crash cut off.  All of it goes
// through the seam's file calls, which reach a folder or a disk image.
//
// The caller has written the complete new file under `written`, beside
// `target`, and closed it.  The names at each step of replace_by_rename
// (target machine.inf, written out.inf, backup machine.in@; or SYSTEM.DAT,
// SYSTEM.TX1, SYSTEM.TX0):
//
//   start          target (old), written (new)
//   proved         the same: `ready` has read written back and proved it
//                  (false: written is deleted, nothing else touched)
//   attributes     written given the target's attributes (and on Linux its
//                  mode and owner: platform_copy_attributes; failing, written
//                  is deleted, nothing else touched)
//   stale backup   backup deleted, if an earlier swap left one; from here
//                  to the end interruptions are held back
//   first rename   backup (old), written (new)      <- the only moment with
//   second rename  backup (old), target (new)          no file under target
//   done           target (new); backup (old) where `keep_backup` (kept:
//                  platform_keep_file), else deleted
//
// Where the target's place renames over a name in one step (a Linux
// folder: platform_renames_over), the two renames are instead:
//
//   backup copy    only where `keep_backup`: backup (old copy, written by
//                  `copy_backup`, given the attributes), target (old),
//                  written (new)
//   rename over    backup (old, where kept), target (new)   <- never
//                                                              without target
//
// What a crash leaves behind:
//   before the first rename: the old target, a written file that the next
//     run removes before it writes anew, perhaps a stale or partial backup;
//   between the renames: no target, the old file under the backup name,
//     the new one, complete, under the written name.  The next run finds
//     this first (put_back_cut_off) and gives the target the backup, or
//     the written file where `accepts_new` proves it;
//   within a rename made of a link and an unlink (a Linux file system that
//     refuses a one-step rename that may not replace): target and written
//     are two names of the new file.  put_back_cut_off finishes that swap,
//     removing the second name, never the content;
//   after the second rename: the new target, and a backup that the next
//     swap deletes first.
// The target's name therefore holds a complete old or new file, or nothing
// with the old file under the backup name.  A failed first rename leaves
// every file as it was; a failed second one renames the backup back.
#ifndef TAMRIX_OPS_FILE_SWAP_H
#define TAMRIX_OPS_FILE_SWAP_H

#include "../platform/platform.h"

// Proves a file by its path: read back, checked, made ready to be renamed.
// `context` is the swap's own.
typedef bool (*swap_check)(void* context, const char* path);

// One replacement, named as above.  Every hook may be null.
struct file_swap {
    const char* target;
    const char* written;
    const char* backup;
    bool keep_backup;        // the old file stays under `backup` afterwards
    swap_check ready;        // proves `written` before anything is renamed
    swap_check copy_backup;  // with a rename over: writes the old file to its path
    void* context;           // handed to each hook
};

enum swap_outcome {
    swap_done,           // the target holds the new file
    swap_not_ready,      // `ready` refused the written file, now deleted
    swap_no_attributes,  // the written file could not be given the target's
                         // attributes; it is deleted
    swap_backup_failed,  // the backup copy could not be written, nor the target touched
    swap_rename_failed,  // a rename failed: the target holds the old file
};

// Swaps `swap.written` in as `swap.target`, as described above.
swap_outcome replace_by_rename(const file_swap& swap);

enum put_back_outcome {
    swap_not_cut_off,   // the target is there, or no backup is: nothing to do
    put_back_old,       // the backup took the target's name back
    put_back_new,       // the written file, accepted, took the target's name
    put_back_finished,  // the target was the written file already, under two
                        // names: the second removed, and the backup where
                        // not kept
    put_back_failed,    // cut off, and the rename failed: nothing changed
};

// Whether `target` is missing and `backup` is there: a swap was cut off
// between its renames.
bool swap_cut_off(const char* target, const char* backup);

// Where a swap was cut off, gives `swap.target` its file back:
// `swap.written` where it is there and `accepts_new` (given the swap's
// context, the backup and the written file) accepts it, the backup staying
// as after the whole swap; else the backup.  Where the target and the
// written file are one file, finishes the swap instead.  `swap.written` and
// `accepts_new` may be null: the backup then.
typedef bool (*swap_accepts)(void* context, const char* backup, const char* written);
put_back_outcome put_back_cut_off(const file_swap& swap, swap_accepts accepts_new);

#endif
