// The files of a disk image's FAT volume, through GNU mtools (see
// image_files.h).
#include "image_files.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "../platform/posix/posix_files.h"
#include "../platform/posix/posix_interruptions.h"
#include "scratch_folder.h"
#include "../platform/posix/split_at.h"
#include "../platform/posix/start_command.h"
#include "image_checks.h"
#include "image_journal.h"

extern char** environ;

namespace {

// ---- the image --------------------------------------------------------------------

bool attached;            // image_attach has succeeded: drive C: is the image's volume
std::string image_name;   // the image file, as the command line named it and messages show it
int image_fd = -1;        // the image, read-only: fsynced after changes; the tools reopen it
std::string image_path;   // the file the tools change: the image, or QEMU's export of it
int host_fd = -1;         // the image file itself on the host (image_fd, unless exported)
int lock_fd = -1;         // the run's lock (image_lock)
uint64_t volume_offset;   // of the FAT volume in the image

// What mtools is run with.
char volume_name[64];  // -i: "/proc/self/fd/N@@OFFSET", the FAT volume in the image
std::string mcopy_path, mdir_path, mren_path, mdel_path;  // the tools, found on PATH
std::vector<std::string> tool_environment;     // the tools' environment (prepare_environment)

// The caller's environment, with the mtools settings Tamrix depends on:
// no geometry checks (partitions of emulators' disks rarely end on a track),
// and short names shown as they are stored.
void prepare_environment() {
    tool_environment = {"MTOOLS_SKIP_CHECK=1", "MTOOLS_LOWER_CASE=0"};
    for (char** variable = environ; *variable != nullptr; variable++)
        if (strncmp(*variable, "MTOOLS_", 7) != 0) tool_environment.push_back(*variable);
}

// Runs an mtools command and gives its exit status (-1 when it could not
// run).  Its input comes from `in` and its output goes to `out` (/dev/null
// where -1), or into `captured`; its errors are discarded.  Each tool runs
// in a process group of its own, so that Ctrl-C in the terminal reaches
// this program only, and with the interruptions blocked through execve and
// after: a change to the image is never cut off halfway, and this program
// acts on the interruption once the tool has returned.  It does not die
// with us: it ends by itself within moments, and one cut off when we die
// would leave the volume half changed, with no journal left to put it
// back.  It keeps the image open, as volume_name reaches it.
int run_tool(const std::string& path, const std::vector<std::string>& args, int in, int out,
             std::string* captured) {
    child_command tool;
    tool.words.assign(1, path.substr(path.find_last_of('/') + 1));  // mtools reads its name
    tool.words.insert(tool.words.end(), args.begin(), args.end());
    tool.program = path;
    tool.environment = &tool_environment;
    tool.own_process_group = true;
    tool.signals = interruptions_blocked;
    tool.in = in;
    tool.out = out;
    tool.keep_open = image_fd;
    return run_command(tool, captured);
}

// ---- paths ----------------------------------------------------------------------

// "C:\WINDOWS\inf\x" as a path in the volume: "/WINDOWS/inf/x"; "/" for C:.
std::string path_in_volume(const char* path) {
    std::string names = path + 2, result;
    for (char& c : names)
        if (c == '\\') c = '/';
    for (const std::string& name : split_at(names, '/'))
        if (!name.empty() && name != ".") result += "/" + name;
    return result.empty() ? "/" : result;
}

std::string parent_of(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string leaf_of(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string in_capitals(std::string name) {
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    return name;
}

std::string lowered(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return name;
}

std::string mtools_name(const std::string& path) { return "::" + path; }

// ---- folders, as mdir lists them ------------------------------------------------------
// Each folder is listed once until the next change.

std::map<std::string, std::vector<image_entry>> listings;  // by the folder's path, lowered

const std::vector<image_entry>* listing(const std::string& folder) {
    std::string key = lowered(folder);
    auto known = listings.find(key);
    if (known != listings.end()) return &known->second;
    std::string out;
    std::string argument = mtools_name(folder == "/" ? "/" : folder + "/");
    if (run_tool(mdir_path, {"-b", "-a", "-i", volume_name, argument}, -1, -1, &out) != 0)
        return nullptr;
    // One line for each entry: its path, and a "/" after a folder's.
    std::vector<image_entry> entries;
    for (std::string line : split_at(out, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        bool is_folder = !line.empty() && line.back() == '/';
        if (is_folder) line.pop_back();
        std::string name = line.substr(line.find_last_of('/') + 1);
        if (name.empty() || name == "." || name == "..") continue;
        entries.push_back({name, is_folder});
    }
    return &(listings[key] = entries);
}

struct entry_found {
    bool exists;
    bool folder;
    std::string name;  // as the image has it
};

entry_found look_up(const std::string& path) {
    if (path == "/") return {true, true, ""};
    const std::vector<image_entry>* entries = listing(parent_of(path));
    std::string wanted = leaf_of(path);
    if (entries != nullptr)
        for (const image_entry& entry : *entries)
            if (strcasecmp(entry.name.c_str(), wanted.c_str()) == 0)
                return {true, entry.folder, entry.name};
    return {false, false, ""};
}

// The path with each name as the image has it, as given from the first one
// it lacks (as a folder's paths are shown).  A folder named by its short
// name (WIN95S~1 for "Win95 SE"), which mdir does not list, keeps that name,
// and the names below it are still looked up.
std::string names_as_stored(const std::string& path) {
    std::string result;
    bool present = true;
    std::vector<std::string> names = split_at(path.substr(1), '/');
    for (size_t i = 0; i < names.size(); i++) {
        const std::string& name = names[i];
        if (name.empty()) continue;  // of "/"
        bool last = i + 1 == names.size();
        entry_found found = present ? look_up(result + "/" + name) : entry_found{false, false, ""};
        if (present && !found.exists && !last && listing(result + "/" + name))
            found = {true, true, name};
        present = found.exists;
        result += "/" + (present ? found.name : name);
    }
    return result.empty() ? "/" : result;
}

// Tells the user why a copy into the image (of `name`, the file open as
// `in`) failed, when the want of room on the host or in the volume (which
// had `volume_room` bytes free) says it; `put_back` whether the image is as
// it was again.
void tell_why_not_copied(const std::string& name, int in, uint64_t volume_room, bool put_back) {
    struct stat copied;
    uint64_t room = 0;
    if (fstat(in, &copied) != 0) return;
    uint64_t size = (uint64_t)copied.st_size;
    std::string then = put_back ? ", and the image was put back as it was."
                                : ", and the image could not be put back as it was: check it "
                                  "with fsck.fat.";
    std::string text;
    if (host_room(host_fd, &room) && room < kRoomForARun)
        text = "The disk that holds " + image_name + " is full: the file system on " +
               mount_point_of(image_name) + " has " + std::to_string(room) + " bytes free; " +
               name + " could not be copied into the image" + then;
    else if (volume_room < size)
        text = "The FAT volume of " + image_name + " is full: " + name + " needs " +
               std::to_string(size) + " bytes, " + std::to_string(volume_room) + " are free" +
               then;
    else
        return;
    platform_message_box(text.c_str(), "Tamrix", icon_error, buttons_ok);
}

// Runs a command that changes the image in `folder`, then forces the image
// onto the disk; an interruption waits until both are done.  A command
// that fails leaves the volume as it was (image_journal.h).
bool change_image(const std::string& folder, const std::string& tool,
                  const std::vector<std::string>& args, int in) {
    if (!journal_keep(image_fd, volume_offset, folder.c_str())) return false;
    interruptions_hold();
    int status = run_tool(tool, args, in, -1, nullptr);
    listings.clear();
    bool done = status == 0 && fsync(image_fd) == 0;
    if (done) {
        journal_forget();
    } else if (in >= 0) {
        uint64_t volume_room = journal_free_bytes();
        bool put_back = journal_put_back(lock_fd);
        tell_why_not_copied(leaf_of(args.back()), in, volume_room, put_back);
    } else {
        journal_put_back(lock_fd);
    }
    interruptions_let_through();
    return done;
}

// ---- open files ----------------------------------------------------------------------

struct open_file {
    bool used;
    int fd;            // the scratch file
    bool writing;
    bool unwritten;    // the image does not hold what was written yet
    bool copy_failed;  // a copy into the image failed: it is not tried again
    std::string path;  // where it goes in the image, its name in capitals
};
const int kMostOpen = 8;
open_file open_files[kMostOpen];  // a handle is kFirstHandle + its slot
const platform_file kFirstHandle = 0x40000000;  // far above any descriptor

open_file* file_of(platform_file file) {
    if (!is_image_file(file)) return nullptr;
    open_file* open = &open_files[file - kFirstHandle];
    return open->used ? open : nullptr;
}

bool take_slot(int fd, bool writing, const std::string& path, platform_file* file) {
    for (int i = 0; i < kMostOpen; i++) {
        if (open_files[i].used) continue;
        open_files[i] = open_file{true, fd, writing, writing, false, path};
        *file = kFirstHandle + i;
        return true;
    }
    close(fd);
    return false;
}

// Copies a written file into the image, whole.
bool write_into_image(open_file* open) {
    if (open->copy_failed) return false;
    entry_found target = look_up(open->path);
    if (target.exists && target.folder) return false;
    if (lseek(open->fd, 0, SEEK_SET) != 0) return false;
    if (!change_image(parent_of(open->path), mcopy_path,
                      {"-o", "-i", volume_name, "-", mtools_name(open->path)}, open->fd)) {
        open->copy_failed = true;
        return false;
    }
    open->unwritten = false;
    return true;
}

bool copy_out(const std::string& path, int fd) {
    std::vector<std::string> args = {"-i", volume_name, mtools_name(path), "-"};
    return run_tool(mcopy_path, args, -1, fd, nullptr) == 0 && lseek(fd, 0, SEEK_SET) == 0;
}

}  // namespace

// ---- the backend ---------------------------------------------------------------------

bool image_attach(const std::string& file, uint64_t offset, std::string* error,
                  const char* shown) {
    std::string name = shown != nullptr ? shown : file;
    mcopy_path = program_on_path("mcopy");
    mdir_path = program_on_path("mdir");
    mren_path = program_on_path("mren");
    mdel_path = program_on_path("mdel");
    if (mcopy_path.empty() || mdir_path.empty() || mren_path.empty() || mdel_path.empty()) {
        *error = "Tamrix needs GNU mtools (mcopy, mdir, mren, mdel) to patch a disk image: "
                 "install the package mtools.";
        return false;
    }
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // never waits on a FIFO
    if (fd < 0) {
        *error = "Can't open the disk image " + name + ": " + strerror(errno);
        return false;
    }
    // Above the descriptors a tool's standard streams are set up on.
    image_fd = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    if (image_fd < 0) {
        *error = "Can't open the disk image " + name + ": " + strerror(errno);
        return false;
    }
    // mtools takes the first "@@" of the -i name as the start of the offset,
    // so the image's own name could send it to another file: the tools reach
    // the image through this descriptor, which is also the file just opened
    // and locked, whatever happens to its name meanwhile.
    snprintf(volume_name, sizeof volume_name, "/proc/self/fd/%d@@%llu", image_fd,
             (unsigned long long)offset);
    prepare_environment();
    host_fd = shown != nullptr ? open(shown, O_RDONLY | O_CLOEXEC | O_NONBLOCK) : image_fd;
    if (host_fd < 0) {
        *error = "Can't open the disk image " + name + ": " + strerror(errno);
        return false;
    }
    volume_offset = offset;
    image_name = name;
    image_path = file;
    attached = true;
    if (listing("/") != nullptr) return true;
    attached = false;
    *error = "mtools cannot read the FAT volume of " + name + "; nothing was changed.";
    return false;
}

void image_detach() {
    for (open_file& open : open_files) {
        if (open.used) close(open.fd);
        open.used = false;
    }
    image_unlock();
    if (host_fd >= 0 && host_fd != image_fd) close(host_fd);
    if (image_fd >= 0) close(image_fd);
    image_fd = host_fd = -1;
    attached = false;
    listings.clear();
}

bool is_image_path(const char* path) {
    char drive = path[0];
    return attached && ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) &&
           path[1] == ':' && (path[2] == '\0' || path[2] == '\\' || path[2] == '/');
}

bool is_image_file(platform_file file) {
    return file >= kFirstHandle && file < kFirstHandle + kMostOpen;
}

static open_status image_file_open_read(const char* path, platform_file* file) {
    if (!is_image_path(path)) return folder_file_backend.open_read(path, file);
    std::string name = path_in_volume(path);
    entry_found found = look_up(name);
    if (!found.exists) return open_missing;
    if (found.folder) return open_refused;
    int fd = scratch_file();
    if (fd < 0) return open_refused;
    if (!copy_out(name, fd)) {
        close(fd);
        return open_refused;
    }
    return take_slot(fd, false, name, file) ? open_ok : open_refused;
}

static bool image_file_open_write(const char* path, platform_file* file) {
    if (!is_image_path(path)) return folder_file_backend.open_write(path, file);
    std::string name = path_in_volume(path);
    entry_found parent = look_up(parent_of(name));
    entry_found target = look_up(name);
    if (!parent.exists || !parent.folder || (target.exists && target.folder)) return false;
    int fd = scratch_file();
    if (fd < 0) return false;
    return take_slot(fd, true, parent_of(name) + (parent_of(name) == "/" ? "" : "/") +
                                   in_capitals(leaf_of(name)),
                     file);
}

// The scratch files are read, written and sought as a folder's files are.
static int32_t image_file_read(platform_file file, char* buffer, uint32_t size) {
    if (!is_image_file(file)) return folder_file_backend.read(file, buffer, size);
    open_file* open = file_of(file);
    return open != nullptr ? folder_file_backend.read(open->fd, buffer, size) : -1;
}

static bool image_file_write(platform_file file, const char* data, uint32_t size) {
    if (!is_image_file(file)) return folder_file_backend.write(file, data, size);
    open_file* open = file_of(file);
    if (open == nullptr || !open->writing) return false;
    open->unwritten = true;
    return folder_file_backend.write(open->fd, data, size);
}

static bool image_file_seek(platform_file file, uint32_t offset) {
    if (!is_image_file(file)) return folder_file_backend.seek(file, offset);
    open_file* open = file_of(file);
    return open != nullptr && folder_file_backend.seek(open->fd, offset);
}

static bool image_file_flush(platform_file file) {
    if (!is_image_file(file)) return folder_file_backend.flush(file);
    open_file* open = file_of(file);
    if (open == nullptr || !open->writing) return false;
    if (open->unwritten) return write_into_image(open);
    return fsync(image_fd) == 0;
}

static bool image_file_close(platform_file file) {
    if (!is_image_file(file)) return folder_file_backend.close(file);
    open_file* open = file_of(file);
    if (open == nullptr) return false;
    bool written = !open->writing || !open->unwritten || write_into_image(open);
    close(open->fd);
    open->used = false;
    return written;
}

static bool image_file_rename(const char* from, const char* to) {
    if (is_image_path(from) != is_image_path(to)) return false;  // never from one to the other
    if (!is_image_path(from)) return folder_file_backend.rename(from, to);
    std::string source = path_in_volume(from), target = path_in_volume(to);
    // A rename stays in its folder, as a swap's do.
    if (strcasecmp(parent_of(source).c_str(), parent_of(target).c_str()) != 0) return false;
    if (!look_up(source).exists || look_up(target).exists) return false;
    return change_image(parent_of(source), mren_path,
                        {"-i", volume_name, mtools_name(source), in_capitals(leaf_of(target))},
                        -1);
}

static bool image_file_delete(const char* path) {
    if (!is_image_path(path)) return folder_file_backend.remove(path);
    std::string name = path_in_volume(path);
    entry_found found = look_up(name);
    if (!found.exists || found.folder) return false;
    return change_image(parent_of(name), mdel_path, {"-i", volume_name, mtools_name(name)}, -1);
}

static bool image_file_real_path(const char* path, char* real, uint32_t size) {
    if (!is_image_path(path)) return folder_file_backend.real_path(path, real, size);
    entry_found found = look_up(path_in_volume(path));
    std::string result = path;
    if (found.exists) result = result.substr(0, result.find_last_of("\\/") + 1) + found.name;
    return (uint32_t)snprintf(real, size, "%s", result.c_str()) < size;
}

static void image_file_shown_path(const char* path, char* shown, uint32_t size) {
    if (!is_image_path(path)) return folder_file_backend.shown_path(path, shown, size);
    snprintf(shown, size, "%s:%s", image_name.c_str(),
             names_as_stored(path_in_volume(path)).c_str());
}

const file_backend image_file_backend = {
    image_file_open_read, image_file_open_write, image_file_read,      image_file_write,
    image_file_seek,      image_file_flush,      image_file_close,     image_file_rename,
    image_file_delete,    image_file_real_path,  image_file_shown_path,
};

const char* image_shown_name() { return image_name.c_str(); }

// ---- the image as a whole ----------------------------------------------------------------

image_access image_write_access() { return image_write_access(host_fd, image_name); }

image_access image_write_access(int fd, const std::string& file) {
    struct stat info;
    if (fstat(fd, &info) != 0 || (info.st_mode & 0222) == 0) return image_read_only;
    int for_writing = open(file.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (for_writing < 0) return errno == EROFS ? image_on_read_only_fs : image_not_yours;
    close(for_writing);
    return image_writable;
}

image_lock_result image_lock() {
    int fd = open(image_path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return image_not_locked;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        bool held = errno == EWOULDBLOCK;
        close(fd);
        return held ? image_held_by_tamrix : image_not_locked;
    }
    struct flock whole;
    memset(&whole, 0, sizeof whole);
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;  // from byte 0 to the end, however long the file grows
    if (fcntl(fd, F_OFD_SETLK, &whole) != 0) {
        bool in_use = errno == EAGAIN || errno == EACCES;
        close(fd);
        return in_use ? image_in_use : image_not_locked;
    }
    lock_fd = fd;
    return image_locked;
}

void image_unlock() {
    if (lock_fd >= 0) close(lock_fd);  // both locks go with the descriptor
    lock_fd = -1;
}

bool image_locked_elsewhere() {
    struct flock whole;
    memset(&whole, 0, sizeof whole);
    whole.l_type = F_WRLCK;  // what would conflict with taking the whole file
    whole.l_whence = SEEK_SET;
    return fcntl(image_fd, F_OFD_GETLK, &whole) == 0 && whole.l_type != F_UNLCK;
}

bool image_list(const char* path, std::vector<image_entry>* entries) {
    const std::vector<image_entry>* found = listing(path_in_volume(path));
    if (found == nullptr) return false;
    *entries = *found;
    return true;
}

bool image_read_whole(const char* path, std::string* bytes, size_t limit) {
    std::string name = path_in_volume(path);
    entry_found found = look_up(name);
    if (!found.exists || found.folder) return false;
    int fd = scratch_file();
    if (fd < 0) return false;
    struct stat info;
    bool read_all = copy_out(name, fd) && fstat(fd, &info) == 0 && (size_t)info.st_size <= limit;
    if (read_all) bytes->resize((size_t)info.st_size);
    for (size_t done = 0; read_all && done < bytes->size();) {
        int32_t count = folder_file_backend.read(fd, &(*bytes)[done],
                                                 (uint32_t)(bytes->size() - done));
        read_all = count > 0;
        done += read_all ? (size_t)count : 0;
    }
    close(fd);
    return read_all;
}

// ---- attributes ----------------------------------------------------------------------
// mattrib shows a file's attributes as letters before its name, as in
// "  A  SHR     ::/WINDOWS/SYSTEM.DAT", and sets them with +x and -x.

namespace {

struct attribute_letter {
    char letter;
    uint32_t bit;
};
const attribute_letter kAttributeLetters[] = {
    {'R', 0x01}, {'H', 0x02}, {'S', 0x04}, {'A', 0x20}};

}  // namespace

bool image_get_attributes(const char* path, uint32_t* attributes) {
    std::string name = path_in_volume(path), mattrib = program_on_path("mattrib"), shown;
    if (mattrib.empty() || !look_up(name).exists ||
        run_tool(mattrib, {"-i", volume_name, mtools_name(name)}, -1, -1, &shown) != 0)
        return false;
    std::string letters = shown.substr(0, shown.find("::"));
    *attributes = 0;
    for (const attribute_letter& known : kAttributeLetters)
        if (letters.find(known.letter) != std::string::npos) *attributes |= known.bit;
    return true;
}

bool image_set_attributes(const char* path, uint32_t attributes) {
    std::string name = path_in_volume(path), mattrib = program_on_path("mattrib");
    if (mattrib.empty() || !look_up(name).exists) return false;
    std::vector<std::string> args = {"-i", volume_name};
    for (const attribute_letter& known : kAttributeLetters)
        args.push_back(std::string(attributes & known.bit ? "+" : "-") +
                       (char)(known.letter - 'A' + 'a'));
    args.push_back(mtools_name(name));
    return change_image(parent_of(name), mattrib, args, -1);
}
