// Install and Uninstall: the selected files one after the other, the
// chipset file first, each through replace_inf_file.
#include "inf_runs.h"

#include "../engine/inf_engine.h"
#include "../engine/report.h"
#include "../inf/inf_templates.h"
#include "inf_replace.h"

platform_window dialog_window;
bool files_changed;

// Only the checked state itself counts, not the indeterminate one.
static bool box_checked(int control) { return platform_get_check(dialog_window, control) == 1; }

bool chipsets_checked() { return box_checked(kChipsetsBox); }
bool usb_checked() { return box_checked(kUsbBox); }

static bool nothing_selected() {
    if (chipsets_checked() || usb_checked()) return false;
    platform_message_box(" Please choice drivers!", "Do what?", icon_question, buttons_ok);
    return true;
}

// A target that Install and Uninstall cannot do without.
[[noreturn]] static void missing_file(inf_target target) {
    report_error("Can't find ", target_path(target), "File Open Error");
    platform_exit(1);
}

// What a replacement means for the run: true to go on.  A failed rename is
// told here; the other failures were told by the replacement itself.
static bool run_goes_on(replace_outcome outcome, const char* failure, const char* caption) {
    if (outcome == replaced) {
        files_changed = true;
        return true;
    }
    if (outcome == rename_failed)
        platform_message_box(failure, caption, icon_none, buttons_ok);
    return false;
}

bool install_selected() {
    if (chipsets_checked()) {
        replace_outcome outcome = replace_inf_file(chipset_file, merge_chipset_inf);
        if (outcome == target_missing) missing_file(chipset_file);
        if (!run_goes_on(outcome, "Install Failure", "rename error")) return false;
    }
    if (usb_checked()) {
        replace_outcome outcome = replace_inf_file(usb_file, merge_usb_inf);
        if (outcome == target_missing) {
            // A new usb.inf changes the system's files as a replacement does.
            create_usb_inf(target_path(usb_file));
            files_changed = true;
            return true;
        }
        if (!run_goes_on(outcome, "Install Failure", "rename error")) return false;
    }
    return files_changed;
}

void on_install() {
    if (nothing_selected()) return;
    if (install_selected())
        platform_message_box(" The utility has updated completely!", "OK", icon_none, buttons_ok);
}

void on_uninstall() {
    if (nothing_selected()) return;
    if (chipsets_checked()) {
        replace_outcome outcome = replace_inf_file(chipset_file, strip_marked_lines);
        if (outcome == target_missing) missing_file(chipset_file);
        if (!run_goes_on(outcome, "Uninstall failure", "Rename Error")) return;
    }
    if (usb_checked()) {
        replace_outcome outcome = replace_inf_file(usb_file, strip_marked_lines);
        if (outcome == target_missing) {
            report_error("Can't find ", target_path(usb_file), "File Open Error");
            return;
        }
        if (!run_goes_on(outcome, "Uninstall failure", "Rename Error")) return;
    }
    if (files_changed)
        platform_message_box("The utility has uninstalled completely!", "OK", icon_none, buttons_ok);
}
