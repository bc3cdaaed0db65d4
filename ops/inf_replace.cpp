// Replacing an INF file through out.inf and a backup name; the states of the
// swap are described in inf_replace.h.
#include "inf_replace.h"

#include "../engine/inf_engine.h"
#include "../engine/report.h"
#include "../engine/text.h"
#include "inf_paths.h"

// The target's name, and its backup: the name with its last letter "@".
struct target_names {
    const char* file;
    const char* backup;
};
static const target_names kTargets[2] = {
    {"\\inf\\machine.inf", "\\inf\\machine.in@"},  // chipset_file
    {"\\inf\\usb.inf", "\\inf\\usb.in@"},          // usb_file
};
static const char kTemporaryName[] = "\\inf\\out.inf";  // shared by both targets

static char target_file[kPathSize];     // the file being replaced
static char temporary_file[kPathSize];  // out.inf, the new text
static char backup_file[kPathSize];     // the old text during the swap

const char* target_path(inf_target target) {
    static char path[kPathSize];  // the last path asked for
    join_text(path, sizeof path, windows_dir, kTargets[target].file);
    return path;
}

// Opens the target as in_file.  Where it is missing but its backup is
// there, an earlier run stopped between the two renames: the backup is the
// target's text, so it gets its name back first.
static open_status open_target() {
    platform_file file;
    open_status status = platform_open_read(target_file, &file);
    if (status == open_missing && platform_rename(backup_file, target_file))
        status = platform_open_read(target_file, &file);
    if (status == open_ok) attach_input(file);
    return status;
}

// Runs the edit into out.inf.  Where the target could not be read or out.inf
// not written, out.inf is deleted and the user told.
static file_outcome write_temporary(inf_edit edit) {
    platform_file file;
    if (!platform_open_write(temporary_file, &file)) {
        close_input();
        report_error("Can't create ", temporary_file, "File Open Error");
        return cannot_create;
    }
    attach_output(file);
    edit();
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

file_outcome replace_inf_file(inf_target target, inf_edit edit) {
    if (!build_path(target_file, kTargets[target].file) ||
        !build_path(temporary_file, kTemporaryName) ||
        !build_path(backup_file, kTargets[target].backup))
        return path_too_long;

    open_status status = open_target();
    if (status == open_missing) return target_missing;
    if (status != open_ok) {
        report_error("Can't read ", target_file, "File Read Error");
        return read_failed;
    }
    if (input_is_utf16()) {
        // Rewriting 16-bit text byte by byte would corrupt every line.
        close_input();
        report_error("Not a text file: ", target_file, "File Read Error");
        return read_failed;
    }

    file_outcome written = write_temporary(edit);
    if (written != replaced) return written;

    // A backup left by an earlier failure would block the first rename.
    platform_delete(backup_file);
    if (!platform_rename(target_file, backup_file)) return rename_failed;
    if (!platform_rename(temporary_file, target_file)) {
        platform_rename(backup_file, target_file);  // never leave the name free
        return rename_failed;
    }
    platform_delete(temporary_file);
    platform_delete(backup_file);
    return replaced;
}
