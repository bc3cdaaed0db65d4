// Replacing an INF file through out.inf and a backup name; the swap and its
// repair are file_swap.h's.
#include "inf_replace.h"

#include "../engine/inf_engine.h"
#include "../engine/text.h"
#include "file_swap.h"
#include "inf_paths.h"
#include "report.h"

// The targets' names under the Windows directory.
static const char* const kTargetNames[2] = {
    "\\inf\\machine.inf",  // chipset_file
    "\\inf\\usb.inf",      // usb_file
};
static const char kTemporaryName[] = "\\out.inf";  // shared by both targets

static char target_file[kPathSize];     // the file being replaced
static char temporary_file[kPathSize];  // out.inf, the new text
static char backup_file[kPathSize];     // the old text during the swap

const char* target_path(inf_target target) {
    static char path[kPathSize];  // the last path asked for
    join_text(path, sizeof path, windows_dir, kTargetNames[target]);
    return path;
}

// Opens the text the target holds now as in_file.  Where the target is
// missing but its backup is there, an earlier run stopped between the two
// renames, and the backup holds the target's text: a run gives it its name
// back first, a look that may change nothing reads it where it is.
static open_status open_current_text(bool may_change) {
    platform_file file;
    open_status status = platform_open_read(target_file, &file);
    if (status == open_missing) {
        if (!may_change)
            status = platform_open_read(backup_file, &file);
        else if (put_back_cut_off({target_file, 0, backup_file, false, 0, 0, 0}, 0) ==
                 put_back_old)
            status = platform_open_read(target_file, &file);
    }
    if (status == open_ok) attach_input(file);
    return status;
}

// Runs the edit into out.inf.  Where the target could not be read or out.inf
// not written, out.inf is deleted and the user told.
static file_outcome write_temporary(inf_edit edit, int windows_kind) {
    platform_file file;
    if (!platform_open_write(temporary_file, &file, write_anew)) {
        close_input();
        report_error("Can't create ", temporary_file, "File Open Error");
        return cannot_create;
    }
    attach_output(file);
    edit(windows_kind);
    bool read_ok = !input_failed();
    close_input();
    bool written = close_output();
    if (read_ok && written) return replaced;
    platform_delete(temporary_file);
    if (!read_ok) {
        report_error("Can't read ", target_file, "File Read Error");
        return read_failed;
    }
    report_error("Can't write ", temporary_file, "File Write Error");
    return write_failed;
}

// The three names of a replacement.  Where the target is a link, the file
// it names is edited and the link kept: out.inf and the backup then stand
// beside that file, so that the swap renames within one folder.  The backup
// is the file's name with its last letter made "@".
static bool build_names(inf_target target) {
    if (!build_path(target_file, kTargetNames[target])) return false;
    static char linked[kPathSize];  // the file the target names in the end
    if (!platform_real_path(target_file, linked, sizeof linked)) {
        report_too_long(target_file, "");
        return false;
    }
    join_text(target_file, sizeof target_file, linked, "");
    uint32_t length = text_length(target_file);
    uint32_t folder = length;
    while (folder > 0 && target_file[folder - 1] != '\\' && target_file[folder - 1] != '/')
        folder--;
    join_text(backup_file, sizeof backup_file, target_file, "");
    backup_file[length - 1] = '@';
    join_text(temporary_file, sizeof temporary_file, target_file, "");
    temporary_file[folder > 0 ? folder - 1 : 0] = '\0';
    if (append_text(temporary_file, sizeof temporary_file, kTemporaryName)) return true;
    report_too_long(temporary_file, kTemporaryName);
    return false;
}

// Builds the names and opens the target's text, which must be text.  False,
// with the failure in `failure` (told, but for a missing target), when it
// cannot be edited.
static bool open_for_edit(inf_target target, bool may_change, file_outcome* failure) {
    if (!build_names(target)) {
        *failure = path_too_long;
        return false;
    }
    open_status status = open_current_text(may_change);
    if (status == open_missing) {
        *failure = target_missing;
        return false;
    }
    *failure = read_failed;
    if (status != open_ok) {
        report_error("Can't read ", target_file, "File Read Error");
        return false;
    }
    if (input_is_utf16()) {
        // Rewriting 16-bit text byte by byte would corrupt every line.
        close_input();
        report_error("Not a text file: ", target_file, "File Read Error");
        return false;
    }
    return true;
}

file_outcome replace_inf_file(inf_target target, inf_edit edit, int windows_kind) {
    file_outcome failure;
    if (!open_for_edit(target, true, &failure)) return failure;
    file_outcome written = write_temporary(edit, windows_kind);
    if (written != replaced) return written;

    file_swap swap = {target_file, temporary_file, backup_file, false, 0, 0, 0};
    swap_outcome outcome = replace_by_rename(swap);
    if (outcome == swap_no_attributes) {
        report_error("Can't give the old file's attributes, mode and owner to ", temporary_file,
                     "File Write Error");
        return write_failed;
    }
    return outcome == swap_done ? replaced : rename_failed;
}

file_outcome preview_inf_file(inf_target target, inf_edit edit, int windows_kind,
                              const char* new_file) {
    file_outcome failure;
    if (!open_for_edit(target, false, &failure)) return failure;
    join_text(temporary_file, sizeof temporary_file, new_file, "");
    return write_temporary(edit, windows_kind);
}

bool create_usb_inf(const char* path) {
    platform_file file;
    if (!platform_open_write(path, &file, write_new_only)) {
        // A usb.inf that is there after all (made meanwhile) is never
        // written over.
        platform_file there;
        bool found = platform_open_read(path, &there) == open_ok;
        if (found) platform_close(there);
        report_error(found ? "Can't create usb.inf: a file of that name is there already, "
                             "and was left as it was: "
                           : "Can't create usb.inf",
                     found ? path : "", "File Open Error");
        return false;
    }
    attach_output(file);
    write_new_usb_inf();
    if (close_output()) return true;
    platform_delete(path);
    report_error("Can't write ", path, "File Write Error");
    return false;
}

inf_content inspect_inf_file(inf_target target, inf_count count, int windows_kind) {
    inf_content content = {false, not_run, 0, {0, 0}, {}};
    if (!open_for_edit(target, false, &content.failure)) return content;
    // count_marked_lines leaves the input at its start, `count` at its end.
    content.marked_lines = count_marked_lines();
    content.template_lines = count(windows_kind, &content.missing);
    content.failure = input_failed() ? read_failed : not_run;
    close_input();
    if (content.failure == read_failed) {
        report_error("Can't read ", target_file, "File Read Error");
        return content;
    }
    content.read = true;
    return content;
}
