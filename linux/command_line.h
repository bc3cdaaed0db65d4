// The command line of the Linux program.
//
//   tamrix [--platform-kind K] [WINDOWS_DIR]       the dialog, in the terminal
//   tamrix install|uninstall [--chipsets] [--usb] [--windows-dir DIR]
//          [--platform-kind K] [--yes|--no] [--dry-run] [--keep-registry]
//                                                  one command, for scripts
//   tamrix status [--chipsets] [--usb] --windows-dir DIR [--platform-kind K]
//   tamrix --help
//   tamrix --version
//
// --image FILE [--partition N] goes with each of them: the Windows folder
// is then inside that disk image, and --windows-dir (or the folder
// argument) names it there; without one the program looks for it.
#ifndef TAMRIX_LINUX_COMMAND_LINE_H
#define TAMRIX_LINUX_COMMAND_LINE_H

#include <string>

enum run_mode {
    mode_dialog,     // the dialog in the terminal
    mode_install,    // Install, then Exit, without a dialog
    mode_uninstall,  // Uninstall, then Exit, without a dialog
    mode_status,     // what each file holds now
    mode_help,       // print the usage and end with status 0
    mode_version,    // print the version and licence and end with status 0
    mode_invalid,    // `error` says why; end with status 2
};

// How the Yes/No boxes of a command are answered.
enum box_policy {
    answer_by_asking,  // ask on a terminal; answer No where stdin is none
    answer_all_yes,    // --yes
    answer_all_no,     // --no
};

struct command_line {
    run_mode mode = mode_dialog;
    bool chipsets = false;    // --chipsets
    bool usb = false;         // --usb
    bool has_windows_dir = false;
    std::string windows_dir;  // the argument or --windows-dir
    int platform_kind = 0;    // --platform-kind; 0, not Windows 95, when not given
    bool has_platform_kind = false;
    box_policy boxes = answer_by_asking;
    bool dry_run = false;     // --dry-run: show what the command would write
    bool keep_registry = false;  // --keep-registry: Exit leaves SYSTEM.DAT alone
    bool has_image = false;
    std::string image;        // --image: the disk image holding the Windows folder
    int partition = 0;        // --partition; 0: the image's first FAT partition
    std::string error;        // for mode_invalid
};

// Reads argv[1..argc-1]; `windir` is the WINDIR variable, or null.  The
// Windows directory is the argument, else WINDIR; a command line that names
// none, or is wrong in any other way, gives mode_invalid with a one-line
// reason.  With --image the folder is one inside the image, WINDIR does not
// count, and none need be named.
command_line parse_command_line(int argc, const char* const* argv, const char* windir);

// The text that --help prints.
const char* usage_text();

// The text that --version prints: name and version, copyright, licence.
const char* version_text();

#endif
