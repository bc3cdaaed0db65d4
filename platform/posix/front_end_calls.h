// What the seam's calls on Linux ask of the program's front end, as a table
// (as file_backend.h is for the files): where an answer depends on how the
// run presents itself (the dialog in a terminal, or one command on plain
// lines), or on what only the front end knows (the Windows folder named on
// its command line, the disk image it opened), the seam's function here
// hands its call to the table in platform_front_end
// (posix_front_end_calls.cpp), and translates nothing else.
//
// The Linux program installs its table first thing, once its command line
// is read, and before any seam call but the file calls is made.
#ifndef TAMRIX_PLATFORM_POSIX_FRONT_END_CALLS_H
#define TAMRIX_PLATFORM_POSIX_FRONT_END_CALLS_H

#include "../platform.h"

struct front_end_calls {
    // The Windows folder of the run, as the seam's file calls name it; ""
    // when there is none.  platform_windows_dir copies it.
    const char* (*windows_dir)();
    // platform_message_box: a box drawn in the terminal dialog, or a line.
    box_answer (*message_box)(const char* text, const char* caption, box_icon icon,
                              box_buttons buttons);
    // platform_run_dialog and its kin: the dialog in a terminal.
    intptr_t (*run_dialog)(int template_id, platform_dialog_procedure procedure);
    void (*end_dialog)(platform_window dialog, intptr_t result);
    int (*get_check)(platform_window dialog, int control);
    void (*set_check)(platform_window dialog, int control, int state);
    // platform_begin_run and platform_end_run: the lock of a Linux folder
    // or of a disk image, and who holds it, told to the user.
    bool (*begin_run)(const char* inf_folder);
    void (*end_run)();
    // Each time the core asks for the registry (platform_local_machine)
    // where SYSTEM.DAT was refused (offline_registry.h): `why` says why it
    // is left alone.
    void (*registry_refused)(const char* why);
};

// The table the front end's seam calls go to; none until the program
// installs one.
extern const front_end_calls* platform_front_end;

#endif
