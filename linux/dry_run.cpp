// "--dry-run": what Install or Uninstall would write, and nothing written.
// The same runs write each new text into a scratch folder outside the
// Windows folder, and GNU diff shows it against the file as it is now:
//
//   --- a/INF/machine.inf
//   +++ b/INF/machine.inf
//
// with three lines of context and the line ends of the files, so that
// `patch -p1 --binary` in the Windows folder makes of it what the command
// would.  A usb.inf that Install would make comes as a new file.
//
// A standard output closed by its reader (`| head -1`) ends the run as it
// ends cat: by SIGPIPE, without a word, once the scratch folder and the
// image's export are gone; nothing was written anyway.
#include "dry_run.h"

#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "../disk/scratch_folder.h"
#include "../base/start_command.h"
#include "commands.h"
#include "front_end.h"
#include "voice.h"

namespace {

// Copies the target's text as it is now to `copy`, reading it as the runs
// do (from a folder with its access time left alone, or out of the image).
// False where there is none.
bool copy_current_text(inf_target target, const std::string& copy) {
    platform_file file;
    if (platform_open_read(target_path(target), &file) != open_ok) return false;
    FILE* out = fopen(copy.c_str(), "wb");
    char buffer[65536];
    int32_t count = 0;
    bool copied = out != nullptr;
    while (copied && (count = platform_read(file, buffer, sizeof buffer)) > 0)
        copied = fwrite(buffer, 1, (size_t)count, out) == (size_t)count;
    platform_close(file);
    if (out != nullptr && fclose(out) != 0) copied = false;
    return copied && count == 0;
}

// Whether the reader of standard output has gone: a pipe with no reader
// answers POLLERR.
bool output_closed() {
    struct pollfd out = {STDOUT_FILENO, POLLOUT, 0};
    return poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0;
}

// Runs diff -u on the old and new text of one file; false when diff failed.
// diff writes on our standard output and reads our input, in our process
// group: Ctrl-C ends it with us, as in a pipeline.  Its signals are those
// of a new program, so that a reader of its output that goes away ends it
// as it ends any writer (SIGPIPE).  It need not die with us: it ends by
// itself, and writes nothing but its output.
bool show_diff(const std::string& name, const std::string& old_text, bool old_exists,
               const std::string& new_text) {
    fflush(stdout);
    child_command diff;
    diff.words = {"diff", "-u", "--label", "a/" + name, "--label", "b/" + name, old_text, new_text};
    if (!old_exists) diff.words.push_back("--new-file");
    diff.in = diff.out = diff.err = kChildInherits;
    // 0: the same, 1: a difference, anything else (-1: not run): trouble.
    int status = run_command(diff);
    return status == 0 || status == 1;
}

}  // namespace

int show_dry_run(selection chosen, bool install) {
    std::string scratch = scratch_folder_make("preview");
    if (scratch.empty()) {
        tell(scratch_folder_refusal("the dry run"));
        return exit_unchanged;
    }
    run_outcome run = install ? run_install(chosen, invocation.platform_kind, scratch.c_str())
                              : run_uninstall(chosen, scratch.c_str());
    int status = exit_status_of(run);
    for (inf_target target : {chipset_file, usb_file}) {
        file_outcome outcome = run.file[target];
        if (outcome != replaced && outcome != created) continue;
        const char* name = target == chipset_file ? "machine.inf" : "usb.inf";
        std::string old_text = scratch + "/old-" + name;
        bool old_exists = outcome == replaced && copy_current_text(target, old_text);
        if (!show_diff(shown_in_windows_dir(target), old_text, old_exists,
                       scratch + "/" + name)) {
            if (output_closed()) {
                scratch_folder_remove(scratch);
                front_end_exit(exit_interrupted + SIGPIPE);
            }
            tell(std::string("diff could not compare the texts of ") + name);
            status = exit_unchanged;
        }
    }
    scratch_folder_remove(scratch);
    return status;
}
