#include "posix_options.h"

#include <string.h>

const char* usage_text() {
    return "Usage:\n"
           "  tamrix [--platform-kind K] [WINDOWS_DIR]\n"
           "      Opens the Tamrix dialog in this terminal.\n"
           "  tamrix install|uninstall [--chipsets] [--usb] [--windows-dir DIR]\n"
           "         [--platform-kind K] [--yes|--no]\n"
           "      Installs or uninstalls without the dialog, then exits as the Exit\n"
           "      button does.  With neither --chipsets nor --usb both files are\n"
           "      handled.  Each message is printed as one line, \"Caption: text\",\n"
           "      with the text's line breaks shown as \" / \"; errors go to standard\n"
           "      error.  Yes/No questions are answered by --yes or --no; without\n"
           "      them they are asked on a terminal and answered No otherwise.\n"
           "  tamrix --help\n"
           "\n"
           "WINDOWS_DIR, DIR  the Windows folder being patched (the one holding INF);\n"
           "                  without it, the WINDIR environment variable.\n"
           "--platform-kind K the Windows being patched: 0 not Windows 95 (the\n"
           "                  default, which asks whether to go on), 1 Windows 95,\n"
           "                  2 Windows 95 with a service release (adds the IRQ\n"
           "                  router lines).\n"
           "\n"
           "Exit status: 0, or 1 when an INF file was missing or could not be\n"
           "created, or 2 for a wrong command line.\n";
}

// Takes the value of an option given as "--name VALUE" or "--name=VALUE".
// Returns false when the option is not `name`; sets `missing` when it is but
// has no value.
static bool option_value(const char* name, int argc, const char* const* argv, int* index,
                         std::string* value, bool* missing) {
    const char* arg = argv[*index];
    size_t length = strlen(name);
    if (strncmp(arg, name, length) != 0) return false;
    if (arg[length] == '=') {
        *value = arg + length + 1;
        return true;
    }
    if (arg[length] != '\0') return false;
    if (*index + 1 >= argc) {
        *missing = true;
        return true;
    }
    *value = argv[++*index];
    return true;
}

static command_line invalid(command_line result, const std::string& why) {
    result.mode = mode_invalid;
    result.error = why;
    return result;
}

command_line parse_command_line(int argc, const char* const* argv, const char* windir) {
    command_line result;
    bool has_command = false;
    bool options_done = false;  // after "--" every argument is positional
    int positionals = 0;
    bool yes = false, no = false;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (!options_done && arg[0] == '-' && arg[1] != '\0') {
            std::string value;
            bool missing = false;
            if (strcmp(arg, "--") == 0) {
                options_done = true;
            } else if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
                command_line help;
                help.mode = mode_help;
                return help;
            } else if (strcmp(arg, "--chipsets") == 0) {
                result.chipsets = true;
            } else if (strcmp(arg, "--usb") == 0) {
                result.usb = true;
            } else if (strcmp(arg, "--yes") == 0) {
                yes = true;
            } else if (strcmp(arg, "--no") == 0) {
                no = true;
            } else if (option_value("--windows-dir", argc, argv, &i, &value, &missing)) {
                if (missing) return invalid(result, "--windows-dir needs a folder");
                if (result.has_windows_dir) return invalid(result, "the Windows folder is given twice");
                result.has_windows_dir = true;
                result.windows_dir = value;
            } else if (option_value("--platform-kind", argc, argv, &i, &value, &missing)) {
                if (missing || (value != "0" && value != "1" && value != "2"))
                    return invalid(result, "--platform-kind takes 0, 1 or 2");
                result.platform_kind = value[0] - '0';
            } else {
                return invalid(result, std::string("unknown option ") + arg);
            }
            continue;
        }
        // The first positional argument may be the command.
        positionals++;
        if (positionals == 1 && !options_done &&
            (strcmp(arg, "install") == 0 || strcmp(arg, "uninstall") == 0)) {
            has_command = true;
            result.mode = arg[0] == 'i' ? mode_install : mode_uninstall;
            continue;
        }
        if (result.has_windows_dir) return invalid(result, std::string("unexpected argument ") + arg);
        result.has_windows_dir = true;
        result.windows_dir = arg;
    }

    if (yes && no) return invalid(result, "--yes and --no exclude each other");
    result.boxes = yes ? answer_all_yes : no ? answer_all_no : answer_by_asking;
    if (!has_command) {
        const char* command_only = result.chipsets ? "--chipsets"
                                   : result.usb    ? "--usb"
                                   : yes           ? "--yes"
                                   : no            ? "--no"
                                                   : nullptr;
        if (command_only != nullptr)
            return invalid(result, std::string(command_only) + " goes with install or uninstall");
    }
    // Neither choice named: both files, as the dialog starts.
    if (!result.chipsets && !result.usb) result.chipsets = result.usb = true;

    if (!result.has_windows_dir && windir != nullptr && windir[0] != '\0') {
        result.has_windows_dir = true;
        result.windows_dir = windir;
    }
    if (!result.has_windows_dir)
        return invalid(result, "no Windows folder: name it, or set WINDIR");
    // An empty name would put every path at the root: \inf\machine.inf.
    if (result.windows_dir.empty()) return invalid(result, "the Windows folder name is empty");
    return result;
}
