// "tamrix install", "tamrix uninstall" and "tamrix status": runs without
// the dialog.  A run gets the selection of the command line, and Exit's
// closing steps follow it, as they follow the Exit button; the exit status
// says what became of the files.  Each message box becomes one line of
// output (message_lines.cpp).
//
// Status prints, for each file asked for, one line saying whether the lines
// Install adds are in it; nothing is changed and no lock is taken:
//
//   INF/MACHINE.INF: installed (25 marked lines)
//   INF/USB.INF: partly installed: 12 of 16 lines present
//   INF/USB.INF: not installed
//   INF/USB.INF: missing
//   INF/MACHINE.INF: installed as far as this file allows: 4 of 25 lines
//       present; no place for 21: 7 of [MS_SYS], 7 of [ControlFlags], ...
//   SYSTEM.DAT: holds 4 of the ten device keys
//
// "Installed" means Install would add nothing; "partly" that some of its
// marked lines are there but not all the lines it adds.  "As far as this
// file allows": Install would add nothing, yet some of its lines are not
// there, since the sections or lines they go in front of are missing
// (inf_templates.h); an Install that leaves a file so says it in the same
// words.
#include "commands.h"

#include <stdio.h>
#include <string.h>

#include <string>

#include "../disk/image_files.h"
#include "../system/system.h"
#include "../ui/ui.h"
#include "dry_run.h"
#include "front_end.h"
#include "put_back.h"
#include "registry_exit.h"
#include "voice.h"

int exit_status_of(const run_outcome& run) {
    if (run.held_elsewhere) return exit_held_elsewhere;
    int status = exit_done;
    for (file_outcome outcome : run.file) {
        if (outcome == target_missing || outcome == cannot_create) return exit_missing;
        if (outcome != not_run && outcome != replaced && outcome != created)
            status = exit_unchanged;
    }
    return status;
}

std::string shown_in_windows_dir(inf_target target) {
    char shown[4096], dir[4096];
    platform_shown_path(target_path(target), shown, sizeof shown);
    platform_shown_path(windows_dir, dir, sizeof dir);
    size_t length = strlen(dir);
    const char* relative = strncmp(shown, dir, length) == 0 ? shown + length : shown;
    while (*relative == '/') relative++;
    return relative;
}

// "no place for 21: 7 of [MS_SYS], ...", or "" where every line has one.
static std::string no_place_text(const missing_places& missing) {
    if (missing.lines == 0) return "";
    std::string text = "; no place for " + std::to_string(missing.lines) + ":";
    for (uint32_t i = 0; i < missing.count; i++)
        text += (i == 0 ? " " : ", ") + std::to_string(missing.place_lines[i]) + " of " +
                missing.place[i];
    return text;
}

// The status line for one file, and the exit status it asks for.
static int show_status_of(inf_target target, int windows_kind) {
    std::string backup = inf_left_in_backup(target);
    if (!backup.empty()) {
        printf("%s: missing (a run that was cut off left its old text in %s)\n",
               shown_in_windows_dir(target).c_str(), backup.c_str());
        return exit_missing;
    }
    inf_content content = inspect_inf(target, windows_kind);
    std::string name = shown_in_windows_dir(target);
    const template_count& lines = content.template_lines;
    if (!content.read) {
        bool missing = content.failure == target_missing;
        printf("%s: %s\n", name.c_str(), missing ? "missing" : "cannot be read");
        return missing ? exit_missing : exit_unchanged;
    }
    if (lines.present == lines.total) {
        printf("%s: installed (%u marked lines)\n", name.c_str(), content.marked_lines);
        return exit_done;
    }
    std::string no_place = no_place_text(content.missing);
    if (lines.present + content.missing.lines == lines.total) {
        printf("%s: installed as far as this file allows: %u of %u lines present%s\n",
               name.c_str(), lines.present, lines.total, no_place.c_str());
        return exit_as_far_as_allowed;
    }
    if (content.marked_lines == 0)
        printf("%s: not installed%s\n", name.c_str(), no_place.c_str());
    else
        printf("%s: partly installed: %u of %u lines present%s\n", name.c_str(), lines.present,
               lines.total, no_place.c_str());
    return exit_unchanged;
}

// After an Install: where the machine.inf it changed still lacks lines,
// because the file has no place for them, the file's line in the words of
// status.  The merge found it as it wrote (a usb.inf always has a place),
// so the file is read again only then.
static void show_lines_without_place(const run_outcome& run, int windows_kind) {
    if (run.file[chipset_file] == replaced && chipset_merge_missing.lines > 0)
        show_status_of(chipset_file, windows_kind);
    fflush(stdout);
}

static int show_status(selection chosen, int windows_kind) {
    int status = exit_done;
    const bool asked[] = {chosen.chipsets, chosen.usb};
    for (inf_target target : {chipset_file, usb_file}) {
        if (!asked[target]) continue;
        int file_status = show_status_of(target, windows_kind);
        // A missing file says more than one not installed, and that more
        // than one installed as far as it allows.
        if (file_status == exit_missing || status == exit_done ||
            (status == exit_as_far_as_allowed && file_status == exit_unchanged))
            status = file_status;
    }
    fflush(stdout);
    return status;
}

int run_command() {
    selection chosen{invocation.chipsets, invocation.usb};
    if (invocation.mode == mode_status) {
        // Status takes no lock, so it reads what a running machine has
        // written so far.
        if (invocation.has_image && image_locked_elsewhere())
            tell_on_line(invocation.image + " is open in another program, such as a virtual "
                                            "machine: what follows may be stale.");
        read_windows_dir();
        int status = show_status(chosen, invocation.platform_kind);
        // Any file reported missing, SYSTEM.DAT as an INF file, ends it with 1.
        return show_registry_status() ? status : exit_missing;
    }
    if (!may_start(invocation.platform_kind)) return exit_declined;
    read_windows_dir();
    if (invocation.dry_run) return show_dry_run(chosen, invocation.mode == mode_install);
    run_outcome run = invocation.mode == mode_install
                          ? run_install(chosen, invocation.platform_kind)
                          : run_uninstall(chosen);
    if (invocation.mode == mode_install) show_lines_without_place(run, invocation.platform_kind);
    if (!run.ends_process && files_changed) {
        finish_changes();
        write_offline_registry();
    }
    return exit_status_of(run);
}
