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

struct file_backend {
    open_status (*open_read)(const char* path, platform_file* file);
    bool (*open_write)(const char* path, platform_file* file);
    int32_t (*read)(platform_file file, char* buffer, uint32_t size);
    bool (*write)(platform_file file, const char* data, uint32_t size);
    bool (*seek)(platform_file file, uint32_t offset);
    bool (*flush)(platform_file file);
    bool (*close)(platform_file file);
    bool (*rename)(const char* from, const char* to);
    bool (*remove)(const char* path);
    bool (*real_path)(const char* path, char* real, uint32_t size);
    void (*shown_path)(const char* path, char* shown, uint32_t size);
};

// The table every platform_ file call goes to: a Linux folder's files
// until a program or a test installs another.
extern const file_backend* platform_files;

#endif
