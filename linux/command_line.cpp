// Reading the command line of the Linux program (see command_line.h).
#include "command_line.h"

#include <getopt.h>
#include <stdlib.h>
#include <string.h>

const char* version_text() {
    // TAMRIX_VERSION is the CMake project's version (CMakeLists.txt).
    return "tamrix " TAMRIX_VERSION "\n"
           "Copyright (C) 2026 The Tamrix developers\n"
           "License MIT <https://opensource.org/license/mit>: free to use, change and share;\n"
           "there is NO WARRANTY.\n";
}

const char* usage_text() {
    return "Usage:\n"
           "  tamrix [--platform-kind K] [--image FILE [--partition N]] [--keep-registry]\n"
           "         [WINDOWS_DIR]\n"
           "      Opens the Tamrix dialog in this terminal.\n"
           "  tamrix install|uninstall [--chipsets] [--usb] [--windows-dir DIR]\n"
           "         [--image FILE [--partition N]] [--platform-kind K] [--yes|--no]\n"
           "         [--dry-run] [--keep-registry]\n"
           "      Installs or uninstalls without the dialog, then exits as the Exit\n"
           "      button does.  With neither --chipsets nor --usb both files are\n"
           "      handled.  Each message is printed as one line, \"Caption: text\",\n"
           "      with the text's line breaks shown as \" / \"; errors go to standard\n"
           "      error.  Yes/No questions are answered by --yes or --no; without\n"
           "      them they are asked on a terminal and answered No otherwise.\n"
           "      --dry-run changes nothing: it prints what the command would write,\n"
           "      as a unified diff (for patch -p1 in the Windows folder).\n"
           "  tamrix status [--chipsets] [--usb] [--windows-dir DIR]\n"
           "         [--image FILE [--partition N]] [--platform-kind K]\n"
           "      Says for each file whether Tamrix's lines are in it, and how many of\n"
           "      the ten device keys the Windows folder's SYSTEM.DAT holds; changes\n"
           "      nothing.\n"
           "  tamrix --help\n"
           "  tamrix --version\n"
           "      Prints the version and the licence.\n"
           "\n"
           "WINDOWS_DIR, DIR  the Windows folder being patched (the one holding INF);\n"
           "                  without it, the WINDIR environment variable.\n"
           "--image FILE      the Windows folder is inside this disk image: a raw\n"
           "                  image (.img, .hdd, .ima: a FAT volume, or a disk with\n"
           "                  an MBR) or a fixed VHD, changed in place through GNU\n"
           "                  mtools, without root and without mounting it; or a\n"
           "                  qcow2, VDI, VMDK (sparse or flat), VHDX or dynamic VHD,\n"
           "                  changed in place through QEMU's qemu-storage-daemon\n"
           "                  (packages qemu-system-common, qemu-utils and fuse3;\n"
           "                  /dev/fuse open to this user), which adds 20 to 30 ms;\n"
           "                  qemu-img check must find it sound first (leaked\n"
           "                  clusters allowed).  DIR then names the folder in it\n"
           "                  (\\WINDOWS, C:\\WINDOWS or /WINDOWS); without DIR, the\n"
           "                  folder in the volume's root that holds WIN.COM and\n"
           "                  INF\\MACHINE.INF.  Without --platform-kind, the kind is\n"
           "                  read from the image's SYSTEM.DAT where it can be.\n"
           "--partition N     the partition of the image's disk: 1 to 4 primary, 5 and\n"
           "                  up the logical drives; without it, the first FAT one.\n"
           "--keep-registry   Exit leaves the Windows folder's SYSTEM.DAT as it is,\n"
           "                  and names the devices to remove in Device Manager;\n"
           "                  without it, Exit after a change deletes their keys\n"
           "                  there (the previous SYSTEM.DAT stays as SYSTEM.TX0).\n"
           "--platform-kind K the Windows being patched: 0 not Windows 95 (the\n"
           "                  default, which asks whether to go on), 1 Windows 95,\n"
           "                  2 Windows 95 with a service release (adds the IRQ\n"
           "                  router lines).\n"
           "\n"
           "Exit status:\n"
           "  0  every file asked for ended as asked (changed, or already so; for\n"
           "     status: fully installed)\n"
           "  1  an INF file is missing, or could not be created (for status: any\n"
           "     file it reports missing, SYSTEM.DAT included); or the disk image\n"
           "     cannot be used (not an image Tamrix can change, damaged (for\n"
           "     install and uninstall), longer than what holds it, not writable, no\n"
           "     Windows folder found in it)\n"
           "  2  a wrong command line, or the dialog asked for without a terminal\n"
           "  3  a file was left unchanged by a read, write or rename error or a path\n"
           "     too long, or the file system that holds the image has less than 4\n"
           "     MiB free or is full, or QEMU, which wrote the changes into the image,\n"
           "     did not end cleanly (for status: a file is not, or only partly,\n"
           "     installed; for status and --dry-run: also a damaged disk image)\n"
           "  4  another Tamrix is changing the same folder or disk image, or another\n"
           "     program (a virtual machine) has the disk image open, or the real disk\n"
           "     is mounted; nothing was done\n"
           "  5  the start-up warning, or the question before a real disk is changed,\n"
           "     was answered No (--no, or no terminal to ask on); nothing was done\n"
           "  6  for status: installed as far as the file allows (every line Install\n"
           "     can place is there; the file has no place for the others, as a\n"
           "     Windows 98 machine.inf, whose chipset sections are in machine2.inf)\n"
           "  129, 130, 143  ended by SIGHUP, SIGINT or SIGTERM; each file holds its\n"
           "     old text or its new one, never half of it\n"
           "  141  standard output was closed (SIGPIPE), as by | head\n"
           "\n"
           "Files, in the Windows folder (in a folder of this system out.inf is\n"
           "written in lower case):\n"
           "  INF/MACHINE.INF, INF/USB.INF  the files changed\n"
           "  INF/OUT.INF  the new text, written whole before it takes the name\n"
           "  INF/MACHINE.IN@, INF/USB.IN@  in a disk image, the old text during the\n"
           "     swap; a run cut off there leaves it, and the next run gives it its\n"
           "     name back\n"
           "  SYSTEM.DAT  the registry: the kind of Windows, and the device keys\n"
           "     that Exit deletes\n"
           "  SYSTEM.TX1  the changed registry, written and checked before it takes\n"
           "     the name\n"
           "  SYSTEM.TX0  the previous registry, kept\n"
           "Elsewhere:\n"
           "  $XDG_RUNTIME_DIR, $TMPDIR  the scratch folder of a run (else /tmp):\n"
           "     tamrix-export.PID, tamrix-preview.PID\n"
           "  the disk image  locked by each Install and Uninstall (flock, and a\n"
           "     write lock that a virtual machine's lock meets)\n";
}

namespace {

// ---- the options ----------------------------------------------------------------
// A new option needs a name here, a row in kOptions and a case in
// take_option.  getopt_long reads them; names must be written in full.

enum option_id {
    opt_chipsets,
    opt_usb,
    opt_yes,
    opt_no,
    opt_dry_run,
    opt_keep_registry,
    opt_windows_dir,
    opt_platform_kind,
    opt_image,
    opt_partition,
    opt_help,
    opt_version,
    option_count,
};

// The commands an option means something with.
enum option_use {
    with_any,         // the dialog too
    with_files,       // install, uninstall or status
    with_changes,     // install or uninstall
    with_exit,        // the dialog, install or uninstall: what ends as Exit does
};

struct option_row {
    option_id id;
    const char* name;         // without the leading "--"
    const char* value_needed; // the error when its value is missing; null: takes none
    option_use use;
};

// In the order in which "... goes with ..." picks one.
const option_row kOptions[] = {
    {opt_chipsets, "chipsets", nullptr, with_files},
    {opt_usb, "usb", nullptr, with_files},
    {opt_yes, "yes", nullptr, with_changes},
    {opt_no, "no", nullptr, with_changes},
    {opt_dry_run, "dry-run", nullptr, with_changes},
    {opt_keep_registry, "keep-registry", nullptr, with_exit},
    {opt_windows_dir, "windows-dir", "--windows-dir needs a folder", with_any},
    {opt_platform_kind, "platform-kind", "--platform-kind takes 0, 1 or 2", with_any},
    {opt_image, "image", "--image needs a disk image file", with_any},
    {opt_partition, "partition",
     "--partition takes a partition number: 1 to 4, or 5 and up for a logical drive", with_any},
    {opt_help, "help", nullptr, with_any},
    {opt_version, "version", nullptr, with_any},
};

// What the commands of each use are called, for "... goes with ...".
const char* const kUseNames[] = {"", "install, uninstall or status", "install or uninstall",
                                 "the dialog, install or uninstall"};

// getopt_long's codes for the options: above every character of a short one.
const int kFirstLongCode = 256;

struct command_row {
    const char* name;
    run_mode mode;
};
const command_row kCommands[] = {
    {"install", mode_install},
    {"uninstall", mode_uninstall},
    {"status", mode_status},
};

const option_row* row_of(int code) {
    for (const option_row& row : kOptions)
        if (kFirstLongCode + row.id == code) return &row;
    return nullptr;
}

// A word that could have been meant as a command: letters only.  A folder
// named so still works alone; followed by another folder, it was a command.
bool looks_like_command(const char* word) {
    if (*word == '\0') return false;
    for (const char* c = word; *c != '\0'; c++)
        if (!((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z'))) return false;
    return true;
}

// Reads the arguments one by one; each step returns an error, or "" to go on.
class reader {
  public:
    explicit reader(command_line* result) : result_(result) {}

    std::string take_option(option_id id, const char* value) {
        bool again = given_[id];
        given_[id] = true;
        // The last one would win unseen; --image and the folder say so their own way.
        if (again && (id == opt_platform_kind || id == opt_partition))
            return std::string("--") + kOptions[id].name + " is given twice";
        switch (id) {
            case opt_chipsets: result_->chipsets = true; break;
            case opt_usb: result_->usb = true; break;
            case opt_dry_run: result_->dry_run = true; break;
            case opt_keep_registry: result_->keep_registry = true; break;
            case opt_windows_dir: return take_windows_dir(value, nullptr);
            case opt_platform_kind:
                if (strcmp(value, "0") != 0 && strcmp(value, "1") != 0 && strcmp(value, "2") != 0)
                    return kOptions[opt_platform_kind].value_needed;
                result_->platform_kind = value[0] - '0';
                result_->has_platform_kind = true;
                break;
            case opt_image:
                if (result_->has_image) return "the disk image is given twice";
                if (value[0] == '\0') return "the disk image name is empty";
                result_->has_image = true;
                result_->image = value;
                break;
            case opt_partition: return take_partition(value);
            default: break;  // --yes and --no count once all is read
        }
        return "";
    }

    // A word that is no option; after "--", `options_done`.
    std::string take_word(const char* word, bool options_done) {
        words_++;
        if (words_ == 1 && !options_done) {
            for (const command_row& command : kCommands) {
                if (strcmp(word, command.name) == 0) {
                    has_command_ = true;
                    result_->mode = command.mode;
                    return "";
                }
            }
            if (looks_like_command(word)) {
                if (result_->has_windows_dir) return std::string("unknown command ") + word;
                maybe_command_ = word;
            }
        }
        return take_windows_dir(word, word);
    }

    // What only the whole command line tells.
    std::string finish() {
        if (given_[opt_yes] && given_[opt_no]) return "--yes and --no exclude each other";
        result_->boxes = given_[opt_yes]  ? answer_all_yes
                         : given_[opt_no] ? answer_all_no
                                          : answer_by_asking;
        if (given_[opt_partition] && !given_[opt_image]) return "--partition goes with --image";
        for (const option_row& row : kOptions) {
            bool fits = row.use == with_any ||
                        (row.use == with_files && has_command_) ||
                        (row.use == with_changes && has_command_ && result_->mode != mode_status) ||
                        (row.use == with_exit && result_->mode != mode_status);
            if (given_[row.id] && !fits)
                return std::string("--") + row.name + " goes with " + kUseNames[row.use];
        }
        return "";
    }

  private:
    // A partition number as Linux counts them: at most three digits.
    std::string take_partition(const char* value) {
        int number = 0;
        size_t length = strlen(value);
        for (size_t i = 0; i < length; i++)
            if (value[i] < '0' || value[i] > '9') length = 0;
        if (length > 0 && length <= 3) number = atoi(value);
        if (number < 1) return kOptions[opt_partition].value_needed;
        result_->partition = number;
        return "";
    }

    // `word` is the argument when the folder was given as one, else null.
    std::string take_windows_dir(const char* dir, const char* word) {
        if (result_->has_windows_dir) {
            if (maybe_command_ != nullptr) return std::string("unknown command ") + maybe_command_;
            if (word != nullptr) return std::string("unexpected argument ") + word;
            return "the Windows folder is given twice";
        }
        result_->has_windows_dir = true;
        result_->windows_dir = dir;
        return "";
    }

    command_line* result_;
    bool given_[option_count] = {};
    bool has_command_ = false;
    int words_ = 0;
    const char* maybe_command_ = nullptr;  // the first word, taken as the folder
};

// --help ends the reading: nothing else counts, not even earlier mistakes
// that only the whole line shows.  --version stands alone.
command_line only(run_mode mode) {
    command_line result;
    result.mode = mode;
    return result;
}

command_line invalid(command_line result, const std::string& why) {
    result.mode = mode_invalid;
    result.error = why;
    return result;
}

// True when `written` ("--name" or "--name=value") spells `name` in full:
// getopt_long would also take a shortened name.
bool spelled_out(const char* written, const char* name) {
    size_t length = strlen(name);
    return strncmp(written + 2, name, length) == 0 &&
           (written[2 + length] == '\0' || written[2 + length] == '=');
}

}  // namespace

command_line parse_command_line(int argc, const char* const* argv, const char* windir) {
    command_line result;
    reader read(&result);

    option long_options[option_count + 1] = {};
    for (const option_row& row : kOptions)
        long_options[row.id] = {row.name, row.value_needed ? required_argument : no_argument,
                                nullptr, kFirstLongCode + row.id};
    // "-": every other argument comes back as code 1, in its place, so that
    // argv is never reordered (and may be const).  ":": a missing value
    // comes back as ':'.  Nothing is printed; optind 0 starts afresh.
    const char kShortOptions[] = "-:h";
    char* const* args = const_cast<char* const*>(argv);
    opterr = 0;
    optind = 0;
    for (;;) {
        int code = getopt_long(argc, args, kShortOptions, long_options, nullptr);
        if (code == -1) break;
        std::string error;
        if (code == 1) {
            error = read.take_word(optarg, false);
        } else if (code == 'h') {
            return only(mode_help);
        } else if (code == ':') {
            error = row_of(optopt)->value_needed;
        } else if (code == '?') {
            // An unknown short option, or a long one unknown, ambiguous or
            // given a value it does not take.
            bool is_short = optopt > 0 && optopt < kFirstLongCode;
            error = std::string("unknown option ") +
                    (is_short ? std::string("-") + (char)optopt : argv[optind - 1]);
        } else {
            // The argument that held the option: the one before its value
            // when that came apart.
            const option_row* row = row_of(code);
            bool value_apart = optarg != nullptr && optarg == argv[optind - 1];
            const char* written = argv[optind - (value_apart ? 2 : 1)];
            if (!spelled_out(written, row->name))
                error = std::string("unknown option ") + written;
            else if (row->id == opt_help)
                return only(mode_help);
            else if (row->id == opt_version && argc != 2)
                error = "--version takes no other argument";
            else if (row->id == opt_version)
                return only(mode_version);
            else
                error = read.take_option(row->id, optarg);
        }
        if (!error.empty()) return invalid(result, error);
    }
    // After "--" every argument is a word, and none a command.
    for (int i = optind; i < argc; i++) {
        std::string error = read.take_word(argv[i], true);
        if (!error.empty()) return invalid(result, error);
    }
    std::string error = read.finish();
    if (!error.empty()) return invalid(result, error);
    // Neither choice named: both files, as the dialog starts.
    if (!result.chipsets && !result.usb) result.chipsets = result.usb = true;

    // WINDIR names a folder of this system, never one inside an image.
    if (!result.has_windows_dir && !result.has_image && windir != nullptr && windir[0] != '\0') {
        result.has_windows_dir = true;
        result.windows_dir = windir;
    }
    if (!result.has_windows_dir && !result.has_image)
        return invalid(result, "no Windows folder: name it, or set WINDIR");
    // An empty name would put every path at the root: \inf\machine.inf.
    if (result.has_windows_dir && result.windows_dir.empty())
        return invalid(result, "the Windows folder name is empty");
    return result;
}
