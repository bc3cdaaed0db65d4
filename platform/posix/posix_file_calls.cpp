// The seam's file functions on Linux: each hands its call to the table in
// platform_files (platform/file_backend.h).
#include "../file_backend.h"
#include "posix_files.h"

const file_backend* platform_files = &folder_file_backend;

open_status platform_open_read(const char* path, platform_file* file) {
    return platform_files->open_read(path, file);
}
bool platform_open_write(const char* path, platform_file* file, write_mode mode) {
    return platform_files->open_write(path, file, mode);
}
int32_t platform_read(platform_file file, char* buffer, uint32_t size) {
    return platform_files->read(file, buffer, size);
}
bool platform_write(platform_file file, const char* data, uint32_t size) {
    return platform_files->write(file, data, size);
}
copy_status platform_copy(platform_file from, uint32_t offset, platform_file to, uint32_t size) {
    return platform_files->copy(from, offset, to, size);
}
bool platform_seek(platform_file file, uint32_t offset) {
    return platform_files->seek(file, offset);
}
bool platform_flush(platform_file file) { return platform_files->flush(file); }
bool platform_close(platform_file file) { return platform_files->close(file); }
bool platform_rename(const char* from, const char* to) { return platform_files->rename(from, to); }
bool platform_delete(const char* path) { return platform_files->remove(path); }
bool platform_real_path(const char* path, char* real, uint32_t size) {
    return platform_files->real_path(path, real, size);
}
void platform_shown_path(const char* path, char* shown, uint32_t size) {
    platform_files->shown_path(path, shown, size);
}
bool platform_renames_over(const char* to) { return platform_files->renames_over(to); }
bool platform_rename_over(const char* from, const char* to) {
    return platform_files->rename_over(from, to);
}
bool platform_same_file(const char* first, const char* second) {
    return platform_files->same_file(first, second);
}
bool platform_copy_attributes(const char* from, const char* to) {
    return platform_files->copy_attributes(from, to);
}
void platform_keep_file(const char* path) { platform_files->keep(path); }
