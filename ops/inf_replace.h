// Replacing an INF file: the edit reads the target and writes a complete new
// text to out.inf beside it (shared by both targets); only when the edit has
// run to its end and the new text is safely on disk is it swapped in by
// renaming (file_swap.h), the target passing through its backup name, the
// target's name with its last letter made "@" (machine.in@).  No backup
// remains after a swap.  A run that finds the target missing and its backup
// there, left by a swap cut off between its renames, gives the backup its
// name back before it goes on.
//
// A failed write, flush or close of out.inf, or a failed read of the target,
// deletes out.inf and never touches the target.
#ifndef TAMRIX_OPS_INF_REPLACE_H
#define TAMRIX_OPS_INF_REPLACE_H

#include "../engine/inf_engine.h"
#include "../inf/inf_templates.h"

enum inf_target { chipset_file, usb_file };

// What became of one INF file in a run.  Every outcome but not_run and
// replaced leaves the target as it was (or, for created, makes it).
enum file_outcome {
    not_run,         // not selected, or the run stopped before it
    replaced,        // the target holds the edited text
    created,         // there was no usb.inf: a new one was written
    target_missing,  // no target file (and no backup to bring it back from)
    rename_failed,   // a swap rename failed; the target holds the old text
    write_failed,    // out.inf could not be written; told the user
    read_failed,     // the target could not be read; told the user
    path_too_long,   // a path did not fit its buffer; told the user
    cannot_create,   // out.inf, or a new usb.inf, could not be made; told the user
};

// An edit of a target (inf/inf_templates.h): reads in_file from its start
// and writes the whole new text to out_file, for the kind of Windows being
// patched (see windows_kind in system/).
typedef void (*inf_edit)(int windows_kind);

// Holds MAX_PATH characters, the NUL included: the Windows directory and
// every path built from it.
const uint32_t kPathSize = 260;

// The Windows directory every path starts with.
extern char windows_dir[kPathSize];

// Reads the Windows directory from the system into windows_dir.  One that
// does not fit is reported ("Path too long: ") and leaves windows_dir
// unusable, so that every later replacement touches nothing.
bool read_windows_dir();

// The full path of a target's file.
const char* target_path(inf_target target);

// Runs `edit` for `windows_kind` over the target and swaps the result in.  Gives replaced,
// target_missing, rename_failed, write_failed, read_failed, path_too_long,
// or cannot_create when out.inf cannot be created.
file_outcome replace_inf_file(inf_target target, inf_edit edit, int windows_kind);

// Runs `edit` over the target into `new_file`, a file of the caller's
// outside the Windows directory, and leaves every file of the target's as it
// was: what replace_inf_file would write.  Gives replaced when the new text
// is complete, else as replace_inf_file.
file_outcome preview_inf_file(inf_target target, inf_edit edit, int windows_kind,
                              const char* new_file);

// Writes a new usb.inf at `path` (write_new_usb_inf).  Returns false, after
// telling the user, when the file cannot be created or written; a file that
// was created but not written completely is deleted again.
bool create_usb_inf(const char* path);

// What a target holds now, read and changed nothing.
struct inf_content {
    bool read;             // the file was there, was text, and was read whole
    file_outcome failure;  // else why not: target_missing, read_failed, path_too_long
    uint32_t marked_lines; // lines ending in the marker
    template_count template_lines;  // the lines Install adds, and those already there
    missing_places missing;         // those of them the file has no place for
};
// Counts, over in_file, the template lines of a target that Install adds on
// `windows_kind`, and those it has no place for (inf_templates.h).
typedef template_count (*inf_count)(int windows_kind, missing_places* missing);
inf_content inspect_inf_file(inf_target target, inf_count count, int windows_kind);

#endif
