// Swapping a new file of the Windows folder in by renaming, for the Linux
// side's own swap (SYSTEM.DAT, linux/registry_exit.cpp), and putting back
// what a swap that a crash cut off leaves, for every swap: SYSTEM.DAT's and
// the INF files' (ops/inf_replace.h, whose own repair the Windows program
// keeps).
//
// In a Linux folder one rename(2) replaces the old file by the new one: the
// name always holds one or the other.  In a disk image mtools can rename
// only to a free name, so a swap takes two renames (the old file to its
// backup name, the new one to the name), and a crash between them leaves
// no file under the name, the old one under the backup name and the new
// one, complete, under the name it was written as.
#ifndef TAMRIX_PLATFORM_POSIX_FILE_SWAP_H
#define TAMRIX_PLATFORM_POSIX_FILE_SWAP_H

#include <string>

// Whether one rename can replace the file at `path` (a Linux folder), not
// two (a disk image).
bool one_rename_replaces(const char* path);

// Renames `from` over `to` in one step, then flushes their folder, so that
// the new name outlives a crash.  A Linux folder only; false when it fails.
bool rename_over(const char* from, const char* to);

// What put_back_cut_off_swap found and did.
enum put_back_outcome {
    swap_not_cut_off,    // the target is there, or no backup is: nothing to do
    put_back_old,        // the backup took the target's name back
    put_back_new,        // the written file, accepted, took the target's name
    put_back_failed,     // cut off, and the rename failed: nothing changed
};

// Whether `target` is missing and `backup` is there: a swap was cut off
// between its renames.
bool swap_cut_off(const std::string& target, const std::string& backup);

// Where a swap was cut off, gives `target` its file back: `written` (the
// new file, "" where none can be told apart) when it is there and
// `accepts_new` (given the backup's and the written file's paths) accepts
// it, the backup staying as the backup, as after the whole swap; otherwise
// the backup.  Interruptions are held back during the rename.
put_back_outcome put_back_cut_off_swap(const std::string& target, const std::string& backup,
                                       const std::string& written,
                                       bool (*accepts_new)(const std::string& backup,
                                                           const std::string& written));

#endif
