// The Install and Uninstall runs: the selected files one after the other,
// the chipset file first, each through replace_inf_file.  A run shows its
// own boxes (the failures, and the completion message) and returns what
// became of each file; it never ends the process itself.
#ifndef TAMRIX_OPS_INF_RUNS_H
#define TAMRIX_OPS_INF_RUNS_H

#include "inf_replace.h"

// Which files a run is for.
struct selection {
    bool chipsets;  // machine.inf
    bool usb;       // usb.inf
};

struct run_outcome {
    file_outcome file[2];  // by inf_target
    // A missing machine.inf, or an out.inf or new usb.inf that could not be
    // made: the program must end with status 1, showing nothing more.
    bool ends_process;
    // Another copy of the program holds the INF folder: nothing was done.
    bool held_elsewhere;
};

// Set after every file a run changes, never cleared; Exit reads it.
extern bool files_changed;

// `windows_kind` is the kind of Windows being patched (see windows_kind in
// system/): kind 2 takes the IRQ router lines into machine.inf.
//
// With a `preview` folder (outside the Windows directory) a run changes
// nothing: it writes what each file would become to preview\machine.inf
// and preview\usb.inf, shows its failures but no completion message, and
// leaves files_changed alone.  Its outcomes then say what would become of
// each file (replaced, created, ...); a rename cannot fail in a preview.
run_outcome run_install(selection chosen, int windows_kind, const char* preview = nullptr);
run_outcome run_uninstall(selection chosen, const char* preview = nullptr);

// What a target holds now, for Install on `windows_kind`: read without any
// change and without holding the folder.
inf_content inspect_inf(inf_target target, int windows_kind);

#endif
