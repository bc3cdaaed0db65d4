// The Linux program: the dialog in a terminal, or one command for scripts,
// on a Windows folder of this system or one inside a disk image.  Both use
// the core's start-up check, runs and messages; the dialog also the core's
// dialog procedure.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "../disk/image_export.h"
#include "../disk/image_session.h"
#include "../disk/scratch_folder.h"
#include "../platform/posix/offline_registry.h"
#include "../platform/posix/posix_files.h"
#include "../base/interruptions.h"
#include "../ui/ui.h"
#include "commands.h"
#include "front_end.h"
#include "open_image.h"
#include "put_back.h"
#include "registry_exit.h"
#include "registry_kind.h"
#include "run_files.h"
#include "voice.h"

int main(int argc, char** argv) {
    interruptions_catch(end_as_interrupted);
    install_run_files();
    invocation = parse_command_line(argc, argv, getenv("WINDIR"));
    install_front_end();
    if (invocation.mode == mode_help) {
        fputs(usage_text(), stdout);
        return exit_done;
    }
    if (invocation.mode == mode_version) {
        fputs(version_text(), stdout);
        return exit_done;
    }
    if (invocation.mode == mode_invalid) {
        tell_on_line(invocation.error);
        fputs("Try 'tamrix --help'.\n", stderr);
        return exit_usage;
    }
    if (invocation.mode == mode_dialog && (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))) {
        tell_on_line("the dialog needs a terminal; without one, use");
        fprintf(stderr, "  tamrix install|uninstall %s ...  (see tamrix --help)\n",
                invocation.has_image ? "--image FILE" : "--windows-dir DIR");
        return exit_usage;
    }
    // What killed runs left in the scratch room goes first, whatever this
    // run does: a dry run's texts, an export's folder and mount.
    scratch_folders_sweep("preview");
    image_export_sweep();
    run_registry_keep(invocation.keep_registry);
    // A Windows folder inside a disk image: the image is readied first.
    if (invocation.has_image) {
        bool for_changes = invocation.mode != mode_status && !invocation.dry_run;
        int refused = open_image(invocation.image, invocation.partition, for_changes,
                                 &invocation.windows_dir);
        // Held from here to the end (status takes no lock): the dialog for
        // as long as it is open, a command through Exit's registry step.
        if (refused == exit_done && invocation.mode != mode_status) refused = hold_image();
        if (refused == exit_done && for_changes)
            refused = confirm_device(invocation.image, invocation.windows_dir);
        if (refused != exit_done) front_end_exit(refused);
        invocation.has_windows_dir = true;
    } else if (invocation.has_windows_dir) {
        // A link in a Windows folder that leads out of it is never followed.
        posix_keep_links_inside(invocation.windows_dir.c_str());
    }
    // As soon as the Windows folder is known: what a cut-off swap left is
    // put back, then SYSTEM.DAT is read, once for the whole run.  A dry run
    // changes nothing, and reads an INF file's text where such a swap left it.
    if (!invocation.dry_run) {
        // QEMU's export for `status` is read-only (open_image).
        put_back_cut_off_swaps(!(invocation.mode == mode_status && the_image.qemu.running()));
        std::string why;
        run_registry_read(&why);
    }
    if (!invocation.has_platform_kind) invocation.platform_kind = registry_windows_kind();
    if (invocation.mode == mode_dialog) {
        int status = tamrix_start(invocation.platform_kind);
        write_offline_registry();
        front_end_exit(status);
    }
    front_end_exit(run_command());
}
