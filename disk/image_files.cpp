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

#include "../base/interruptions.h"
#include "scratch_folder.h"
#include "../base/fd_io.h"
#include "../base/split_at.h"
#include "../base/start_command.h"
#include "image_checks.h"
#include "image_journal.h"
#include "mtools_output.h"
#include "image_session.h"
#include "refusal_words.h"

extern char** environ;

namespace {

// ---- the image --------------------------------------------------------------------
// The image itself is the_image (image_session.h).  What follows is how
// mtools is run on it: set up once by image_attach, for the_image alone.

bool attached;         // image_attach has succeeded: drive C: is the image's volume
char volume_name[64];  // -i: "/proc/self/fd/N@@OFFSET", the FAT volume in the image
std::string mcopy_path, mdir_path, mren_path, mdel_path;  // the tools, found on PATH
std::vector<std::string> tool_environment;     // the tools' environment (prepare_environment)
image_copy_failure copy_failure;               // why the last copy into the image failed

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
    tool.keep_open = the_image.disk_fd;
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
    return &(listings[key] = mdir_entries(out));
}

struct entry_found {
    bool exists;
    bool folder;
    std::string name;  // as the image has it
    bool failed;       // its folder could not be listed: whether it exists is unknown
};

// Whether `folder` is truly not there: its parent was listed whole and has
// no folder of that name.  mdir fails alike for a missing folder and for a
// volume it could not read, so a failed listing means "missing" only then.
bool folder_absent(const std::string& folder) {
    if (folder == "/") return false;
    const std::vector<image_entry>* entries = listing(parent_of(folder));
    if (entries == nullptr) return folder_absent(parent_of(folder));
    std::string wanted = leaf_of(folder);
    for (const image_entry& entry : *entries)
        if (entry.folder && strcasecmp(entry.name.c_str(), wanted.c_str()) == 0) return false;
    return true;
}

// A name in its folder.  A folder that could not be listed (mdir failed,
// or its output could not be read whole) says nothing of the name: the
// caller fails rather than take the file for missing.
entry_found look_up(const std::string& path) {
    if (path == "/") return {true, true, "", false};
    const std::vector<image_entry>* entries = listing(parent_of(path));
    std::string wanted = leaf_of(path);
    if (entries == nullptr) return {false, false, "", !folder_absent(parent_of(path))};
    for (const image_entry& entry : *entries)
        if (strcasecmp(entry.name.c_str(), wanted.c_str()) == 0)
            return {true, entry.folder, entry.name, false};
    return {false, false, "", false};
}

// The path with each name as the image has it, as given from the first one
// it lacks (as a folder's paths are shown), a missing file in capitals, as
// Install would write it (INF/USB.INF: missing).  A folder named by its short
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
        entry_found found =
            present ? look_up(result + "/" + name) : entry_found{false, false, "", false};
        if (present && !found.exists && !last && listing(result + "/" + name))
            found = {true, true, name, false};
        present = found.exists;
        // A name not there is shown as a new file is written: in capitals.
        result += "/" + (present ? found.name : last ? in_capitals(name) : name);
    }
    return result.empty() ? "/" : result;
}

// Keeps why a copy into the image (of `name`, the file open as `in`)
// failed, when the want of room on the host or in the volume (which had
// `volume_room` bytes free) says it; `put_back` whether the image is as it
// was again.
void keep_why_not_copied(const std::string& name, int in, uint64_t volume_room, bool put_back) {
    struct stat copied;
    uint64_t room = 0;
    if (fstat(in, &copied) != 0) return;
    uint64_t size = (uint64_t)copied.st_size;
    if (host_room(the_image.fd, &room) && room < kRoomForARun)
        copy_failure = {copy_host_full, name, kRoomForARun, room, put_back};
    else if (volume_room < size)
        copy_failure = {copy_volume_full, name, size, volume_room, put_back};
}

// Runs a command that changes the image in `folder`, then forces the image
// onto the disk; an interruption waits until both are done.  A command
// that fails leaves the volume as it was (image_journal.h).
bool change_image(const std::string& folder, const std::string& tool,
                  const std::vector<std::string>& args, int in) {
    image_session& image = the_image;
    if (!journal_keep(&image.journal, image.disk_fd, image.volume_offset, folder.c_str()))
        return false;
    interruptions_hold();
    int status = run_tool(tool, args, in, -1, nullptr);
    listings.clear();
    bool done = status == 0 && fsync(the_image.disk_fd) == 0;
    if (done) {
        journal_forget(&the_image.journal);
    } else if (in >= 0) {
        uint64_t volume_room = journal_free_bytes(the_image.journal);
        bool put_back = journal_put_back(&the_image.journal, the_image.disk_fd);
        keep_why_not_copied(leaf_of(args.back()), in, volume_room, put_back);
    } else {
        journal_put_back(&the_image.journal, the_image.disk_fd);
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
    if (target.failed || (target.exists && target.folder)) return false;
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

bool image_attach(std::string* error) {
    mcopy_path = program_on_path("mcopy");
    mdir_path = program_on_path("mdir");
    mren_path = program_on_path("mren");
    mdel_path = program_on_path("mdel");
    if (mcopy_path.empty() || mdir_path.empty() || mren_path.empty() || mdel_path.empty()) {
        *error = "Tamrix needs GNU mtools (mcopy, mdir, mren, mdel) to patch a disk image: "
                 "install the package mtools.";
        return false;
    }
    // mtools takes the first "@@" of the -i name as the start of the offset,
    // so the image's own name could send it to another file: the tools reach
    // the image through the session's descriptor, which is also the file
    // whose format was read and which is locked, whatever happens to its
    // name meanwhile.
    snprintf(volume_name, sizeof volume_name, "/proc/self/fd/%d@@%llu", the_image.disk_fd,
             (unsigned long long)the_image.volume_offset);
    prepare_environment();
    attached = true;
    if (listing("/") != nullptr) return true;
    attached = false;
    *error = nothing_changed("mtools cannot read the FAT volume of " + the_image.shown);
    return false;
}

void image_detach() {
    for (open_file& open : open_files) {
        if (open.used) close(open.fd);
        open.used = false;
    }
    image_unlock();
    // The image file itself stays open, and its flock held, until the
    // process ends: no other Tamrix starts on it while QEMU writes it out.
    if (the_image.disk_fd >= 0 && the_image.disk_fd != the_image.fd) close(the_image.disk_fd);
    the_image.disk_fd = -1;
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
    std::string name = path_in_volume(path);
    entry_found found = look_up(name);
    if (found.failed) return open_refused;
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

// FAT gives a file one name, so mcopy -o writing over one cannot reach
// another file: write_anew needs no deletion first.
static bool image_file_open_write(const char* path, platform_file* file, write_mode mode) {
    std::string name = path_in_volume(path);
    entry_found parent = look_up(parent_of(name));
    entry_found target = look_up(name);
    if (!parent.exists || !parent.folder || target.failed || (target.exists && target.folder) ||
        (target.exists && mode == write_new_only))
        return false;
    int fd = scratch_file();
    if (fd < 0) return false;
    return take_slot(fd, true, parent_of(name) + (parent_of(name) == "/" ? "" : "/") +
                                   in_capitals(leaf_of(name)),
                     file);
}

// The scratch files are read, written and sought as a folder's files are.
static int32_t image_file_read(platform_file file, char* buffer, uint32_t size) {
    open_file* open = file_of(file);
    return open != nullptr ? read_some(open->fd, buffer, size) : -1;
}

static bool image_file_write(platform_file file, const char* data, uint32_t size) {
    open_file* open = file_of(file);
    if (open == nullptr || !open->writing) return false;
    open->unwritten = true;
    return write_all(open->fd, data, size);
}

// The files written into an image pass through mtools, which copies
// them whole.
static copy_status image_file_copy(platform_file, uint32_t, platform_file, uint32_t) {
    return copy_not_offered;
}

static bool image_file_seek(platform_file file, uint32_t offset) {
    open_file* open = file_of(file);
    return open != nullptr && lseek(open->fd, (off_t)offset, SEEK_SET) == (off_t)offset;
}

static bool image_file_flush(platform_file file) {
    open_file* open = file_of(file);
    if (open == nullptr || !open->writing) return false;
    if (open->unwritten) return write_into_image(open);
    return fsync(the_image.disk_fd) == 0;
}

static bool image_file_close(platform_file file) {
    open_file* open = file_of(file);
    if (open == nullptr) return false;
    bool written = !open->writing || !open->unwritten || write_into_image(open);
    close(open->fd);
    open->used = false;
    return written;
}

static bool image_file_rename(const char* from, const char* to) {
    std::string source = path_in_volume(from), target = path_in_volume(to);
    // A rename stays in its folder, as a swap's do.
    if (strcasecmp(parent_of(source).c_str(), parent_of(target).c_str()) != 0) return false;
    entry_found there = look_up(target);
    if (!look_up(source).exists || there.exists || there.failed) return false;
    return change_image(parent_of(source), mren_path,
                        {"-i", volume_name, mtools_name(source), in_capitals(leaf_of(target))},
                        -1);
}

static bool image_file_delete(const char* path) {
    std::string name = path_in_volume(path);
    entry_found found = look_up(name);
    if (!found.exists || found.folder) return false;
    return change_image(parent_of(name), mdel_path, {"-i", volume_name, mtools_name(name)}, -1);
}

static bool image_file_real_path(const char* path, char* real, uint32_t size) {
    entry_found found = look_up(path_in_volume(path));
    std::string result = path;
    if (found.exists) result = result.substr(0, result.find_last_of("\\/") + 1) + found.name;
    return (uint32_t)snprintf(real, size, "%s", result.c_str()) < size;
}

static void image_file_shown_path(const char* path, char* shown, uint32_t size) {
    snprintf(shown, size, "%s:%s", the_image.shown.c_str(),
             names_as_stored(path_in_volume(path)).c_str());
}

// mren cannot rename over a name: the swap renames twice.  FAT gives a
// file one name.
static bool image_file_renames_over(const char*) { return false; }
static bool image_file_rename_over(const char*, const char*) { return false; }
static bool image_file_same_file(const char*, const char*) { return false; }

static attributes_read image_file_get_attributes(const char* path, uint32_t* attributes) {
    return image_get_attributes(path, attributes) ? attributes_kept : attributes_failed;
}

static bool image_file_copy_attributes(const char* from, const char* to) {
    uint32_t attributes = 0;
    return image_get_attributes(from, &attributes) && image_set_attributes(to, attributes);
}

static void image_file_keep(const char*) {}

const file_backend image_file_backend = {
    image_file_open_read,      image_file_open_write,  image_file_read,
    image_file_write,          image_file_copy,        image_file_seek,
    image_file_flush,          image_file_close,       image_file_rename,
    image_file_delete,         image_file_real_path,   image_file_shown_path,
    image_file_renames_over,   image_file_rename_over, image_file_same_file,
    image_file_get_attributes, image_set_attributes,   image_file_copy_attributes,
    image_file_keep,
};

// ---- the image as a whole ----------------------------------------------------------------

// An OFD lock of `type` over the whole file: from byte 0 to the end,
// however long the file grows.
static struct flock whole_file(short type) {
    struct flock whole;
    memset(&whole, 0, sizeof whole);
    whole.l_type = type;
    whole.l_whence = SEEK_SET;
    return whole;
}

// An exported image is held from before QEMU opened it (open_image.cpp),
// and QEMU's own locks on it keep a virtual machine out: only a direct
// image is locked here, once for the whole process.
image_lock_result image_lock() {
    if (the_image.qemu.running() || the_image.held) return image_locked;
    if (flock(the_image.fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? image_held_by_tamrix : image_not_locked;
    the_image.held = true;
    // A dry run may read an image that this user may not write (a read-only
    // file, a read-only mount): a write lock needs the file open for
    // writing, so it takes a read lock, after asking whether another
    // program holds one that a write would meet; QEMU, which asks the same
    // before it writes, then keeps a virtual machine from starting.
    bool writable = (fcntl(the_image.fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    struct flock whole = whole_file(writable ? F_WRLCK : F_RDLCK);
    bool met = !writable && image_locked_elsewhere();
    if (met || fcntl(the_image.fd, F_OFD_SETLK, &whole) != 0) {
        bool in_use = met || errno == EAGAIN || errno == EACCES;
        image_unlock();
        return in_use ? image_in_use : image_not_locked;
    }
    return image_locked;
}

void image_unlock() {
    if (the_image.qemu.running() || !the_image.held) return;
    struct flock whole = whole_file(F_UNLCK);
    fcntl(the_image.fd, F_OFD_SETLK, &whole);
    flock(the_image.fd, LOCK_UN);
    the_image.held = false;
}

bool image_locked_elsewhere() {
    struct flock whole = whole_file(F_WRLCK);  // what would conflict with taking it all
    return fcntl(the_image.disk_fd, F_OFD_GETLK, &whole) == 0 && whole.l_type != F_UNLCK;
}

bool image_take_copy_failure(image_copy_failure* failure) {
    if (copy_failure.why == copy_no_reason) return false;
    *failure = copy_failure;
    copy_failure = image_copy_failure();
    return true;
}

bool image_list(const char* path, std::vector<image_entry>* entries) {
    const std::vector<image_entry>* found = listing(path_in_volume(path));
    if (found == nullptr) return false;
    *entries = *found;
    return true;
}

// ---- attributes ----------------------------------------------------------------------
// mattrib shows a file's attributes as letters before its name, as in
// "  A  SHR     ::/WINDOWS/SYSTEM.DAT", and sets them with +x and -x.

bool image_get_attributes(const char* path, uint32_t* attributes) {
    std::string name = path_in_volume(path), mattrib = program_on_path("mattrib"), shown;
    if (mattrib.empty() || !look_up(name).exists ||
        run_tool(mattrib, {"-i", volume_name, mtools_name(name)}, -1, -1, &shown) != 0)
        return false;
    *attributes = mattrib_attributes(shown);
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
