// "tamrix status": for each file asked for, one line saying whether the
// lines Install adds are in it.  Nothing is changed and no lock is taken.
//
//   INF/machine.inf: installed (25 marked lines)
//   INF/usb.inf: partly installed: 12 of 16 lines present
//   INF/usb.inf: not installed
//   INF/usb.inf: missing
//
// "Installed" means Install would add nothing; "partly" that some of its
// marked lines are there but not all the lines it adds.
#include <stdio.h>

#include "posix_backend.h"

const int kStatusInstalled = 0;
const int kStatusMissing = 1;
const int kStatusNotInstalled = 3;

// The line for one file, and the exit status it asks for.
static int show_one(inf_target target, int windows_kind) {
    inf_content content = inspect_inf(target, windows_kind);
    std::string name = shown_in_windows_dir(target);
    const template_count& lines = content.template_lines;
    if (!content.read) {
        bool missing = content.failure == target_missing;
        printf("%s: %s\n", name.c_str(), missing ? "missing" : "cannot be read");
        return missing ? kStatusMissing : kStatusNotInstalled;
    }
    if (lines.present == lines.total) {
        printf("%s: installed (%u marked lines)\n", name.c_str(), content.marked_lines);
        return kStatusInstalled;
    }
    if (content.marked_lines == 0)
        printf("%s: not installed\n", name.c_str());
    else
        printf("%s: partly installed: %u of %u lines present\n", name.c_str(), lines.present,
               lines.total);
    return kStatusNotInstalled;
}

int show_status(selection chosen, int windows_kind) {
    int status = kStatusInstalled;
    const bool asked[] = {chosen.chipsets, chosen.usb};
    for (inf_target target : {chipset_file, usb_file}) {
        if (!asked[target]) continue;
        int file_status = show_one(target, windows_kind);
        // A missing file says more than one not installed.
        if (file_status == kStatusMissing || status == kStatusInstalled) status = file_status;
    }
    fflush(stdout);
    return status;
}
