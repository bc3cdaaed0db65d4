// Install and Uninstall over the selected files, for real or as a preview.
#include "inf_runs.h"

#include "../engine/inf_engine.h"
#include "../engine/text.h"
#include "../inf/inf_templates.h"
#include "report.h"

bool files_changed;  // some run changed a file in this process

// The folder a preview writes its new texts to; null in a real run.
static const char* preview_folder;

// Holds the INF folder for this run; false when another copy of the program
// holds it (and the user has been told).
static bool hold_inf_folder(run_outcome* run) {
    static char inf_folder[kPathSize];  // the folder both targets live in
    join_text(inf_folder, sizeof inf_folder, windows_dir, "\\inf");
    run->held_elsewhere = !platform_begin_run(inf_folder);
    return !run->held_elsewhere;
}

static bool nothing_selected(selection chosen) {
    if (chosen.chipsets || chosen.usb) return false;
    platform_message_box(" Please choice drivers!", "Do what?", icon_question, buttons_ok);
    return true;
}

static void report_missing(inf_target target) {
    report_error("Can't find ", target_path(target), "File Open Error");
}

// Where a preview writes a target's new text.
static const char* preview_path(inf_target target) {
    static char path[kPathSize * 2];  // the last one asked for
    const char* name = target == chipset_file ? "\\machine.inf" : "\\usb.inf";
    join_text(path, sizeof path, preview_folder, name);
    return path;
}

// One edit of one file: swapped in, or written to the preview folder.
static file_outcome edit_file(inf_target target, inf_edit edit, int windows_kind) {
    if (preview_folder == nullptr) return replace_inf_file(target, edit, windows_kind);
    return preview_inf_file(target, edit, windows_kind, preview_path(target));
}

static file_outcome create_new_usb_inf() {
    const char* path = preview_folder == nullptr ? target_path(usb_file) : preview_path(usb_file);
    return create_usb_inf(path) ? created : cannot_create;
}

static void report_done(const char* text) {
    if (preview_folder == nullptr) platform_message_box(text, "OK", icon_none, buttons_ok);
}

// Records what became of one file and says whether the run goes on.  A
// failed rename is told here; the other failures were told where they
// happened.  Without the file's text, or without a place to write the new
// one, the program cannot go on at all.
static bool file_done(run_outcome* run, inf_target target, file_outcome outcome,
                      const char* rename_failure, const char* rename_caption) {
    run->file[target] = outcome;
    if (outcome == replaced || outcome == created) {
        if (preview_folder == nullptr) files_changed = true;
        return true;
    }
    if (outcome == rename_failed)
        platform_message_box(rename_failure, rename_caption, icon_none, buttons_ok);
    if (outcome == cannot_create || (outcome == target_missing && target == chipset_file))
        run->ends_process = true;
    return false;
}

static void install(run_outcome* run, selection chosen, int windows_kind) {
    if (chosen.chipsets) {
        file_outcome outcome = edit_file(chipset_file, merge_chipset_inf, windows_kind);
        if (outcome == target_missing) report_missing(chipset_file);
        if (!file_done(run, chipset_file, outcome, "Install Failure", "rename error")) return;
    }
    if (chosen.usb) {
        file_outcome outcome = edit_file(usb_file, merge_usb_inf, windows_kind);
        // Where there is no usb.inf, Install makes one.
        if (outcome == target_missing) outcome = create_new_usb_inf();
        if (!file_done(run, usb_file, outcome, "Install Failure", "rename error")) return;
    }
    report_done(" The utility has updated completely!");
}

static void uninstall(run_outcome* run, selection chosen, int windows_kind) {
    const inf_target targets[] = {chipset_file, usb_file};
    for (inf_target target : targets) {
        if (!(target == chipset_file ? chosen.chipsets : chosen.usb)) continue;
        file_outcome outcome = edit_file(target, uninstall_inf, windows_kind);
        if (outcome == target_missing) report_missing(target);
        if (!file_done(run, target, outcome, "Uninstall failure", "Rename Error")) return;
    }
    if (files_changed) report_done("The utility has uninstalled completely!");
}

// A run with the INF folder held for it.
static run_outcome held_run(selection chosen, int windows_kind, const char* preview,
                            void (*steps)(run_outcome*, selection, int)) {
    run_outcome run = {{not_run, not_run}, false, false};
    if (nothing_selected(chosen) || !hold_inf_folder(&run)) return run;
    preview_folder = preview;
    steps(&run, chosen, windows_kind);
    preview_folder = nullptr;
    platform_end_run();
    return run;
}

run_outcome run_install(selection chosen, int windows_kind, const char* preview) {
    return held_run(chosen, windows_kind, preview, install);
}

run_outcome run_uninstall(selection chosen, const char* preview) {
    return held_run(chosen, 0, preview, uninstall);
}

inf_content inspect_inf(inf_target target, int windows_kind) {
    return inspect_inf_file(target, target == chipset_file ? count_chipset_lines : count_usb_lines,
                            windows_kind);
}
