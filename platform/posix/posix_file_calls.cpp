// The seam's file functions in the Linux program: a Windows folder on a
// Linux file system.
#include "posix_files.h"

open_status platform_open_read(const char* path, platform_file* file) {
    return posix_open_read(path, file);
}
bool platform_open_write(const char* path, platform_file* file) {
    return posix_open_write(path, file);
}
int32_t platform_read(platform_file file, char* buffer, uint32_t size) {
    return posix_read(file, buffer, size);
}
bool platform_write(platform_file file, const char* data, uint32_t size) {
    return posix_write(file, data, size);
}
bool platform_seek(platform_file file, uint32_t offset) { return posix_seek(file, offset); }
bool platform_flush(platform_file file) { return posix_flush(file); }
bool platform_close(platform_file file) { return posix_close(file); }
bool platform_rename(const char* from, const char* to) { return posix_rename(from, to); }
bool platform_delete(const char* path) { return posix_delete(path); }
