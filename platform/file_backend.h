// The seam's file functions as a table, for the Linux side: each place that
// holds files (a Linux folder, platform/posix/posix_files.h; a disk image,
// disk/image_files.h) fills one, and the seam's file calls go to
// the table in `platform_files` (platform/posix/posix_file_calls.cpp).
// Whoever wants to watch or fail the calls (the tests' scripted backend,
// the benchmark, the Linux program's runs) installs a table of its own that
// hands each call on to its parent, as a test file system wraps the real one.
// Each entry does what its platform_ namesake in platform.h promises.
#ifndef TAMRIX_PLATFORM_FILE_BACKEND_H
#define TAMRIX_PLATFORM_FILE_BACKEND_H

#include "platform.h"

// The DOS attributes of a file that Tamrix keeps: read-only, hidden,
// system and archive, as a FAT directory entry holds them.
const uint32_t kDosReadOnly = 0x01, kDosHidden = 0x02, kDosSystem = 0x04, kDosArchive = 0x20;
const uint32_t kDosKept = kDosReadOnly | kDosHidden | kDosSystem | kDosArchive;

enum attributes_read {
    attributes_kept,    // read into `attributes`
    attributes_none,    // the file's place keeps none (a folder not on FAT)
    attributes_failed,  // kept there, but not read
};

struct file_backend {
    open_status (*open_read)(const char* path, platform_file* file);
    bool (*open_write)(const char* path, platform_file* file, write_mode mode);
    int32_t (*read)(platform_file file, char* buffer, uint32_t size);
    bool (*write)(platform_file file, const char* data, uint32_t size);
    copy_status (*copy)(platform_file from, uint32_t offset, platform_file to, uint32_t size);
    bool (*seek)(platform_file file, uint32_t offset);
    bool (*flush)(platform_file file);
    bool (*close)(platform_file file);
    bool (*rename)(const char* from, const char* to);
    bool (*remove)(const char* path);
    bool (*real_path)(const char* path, char* real, uint32_t size);
    void (*shown_path)(const char* path, char* shown, uint32_t size);
    // Whether the place of `to` renames over a name in one step, and that
    // rename (a file under `to` replaced, their folder flushed).
    bool (*renames_over)(const char* to);
    bool (*rename_over)(const char* from, const char* to);
    // Whether two paths name one file, as two links of it do.
    bool (*same_file)(const char* first, const char* second);
    // A file's DOS attributes (of kDosKept), and all of them set at once.
    attributes_read (*get_attributes)(const char* path, uint32_t* attributes);
    bool (*set_attributes)(const char* path, uint32_t attributes);
    bool (*copy_attributes)(const char* from, const char* to);
    // A file this run wrote stands finished where it is without a rename
    // (a kept backup): nothing to clean up after it.
    void (*keep)(const char* path);
};

// The table every platform_ file call goes to: a Linux folder's files
// until a program or a test installs another.
extern const file_backend* platform_files;

#endif
