// The file layer on CreateFileA and its family: binary bytes only.
#include "win32_backend.h"

#include "../platform.h"

static HANDLE handle_of(platform_file file) {
    return reinterpret_cast<HANDLE>(file);
}

// Other programs may go on reading and writing the files Tamrix has open.
static const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

open_status platform_open_read(const char* path, platform_file* file) {
    HANDLE handle = CreateFileA(path, GENERIC_READ, kShareAll, 0, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        *file = kNoFile;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return open_missing;
        return open_refused;
    }
    *file = reinterpret_cast<platform_file>(handle);
    return open_ok;
}

// FAT gives a file one name, so emptying one that is there cannot reach
// another file: CREATE_ALWAYS is the replacement's open as it always was.
bool platform_open_write(const char* path, platform_file* file, write_mode mode) {
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, kShareAll, 0,
                                mode == write_new_only ? CREATE_NEW : CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        *file = kNoFile;
        return false;
    }
    *file = reinterpret_cast<platform_file>(handle);
    return true;
}

int32_t platform_read(platform_file file, char* buffer, uint32_t size) {
    DWORD count = 0;
    if (!ReadFile(handle_of(file), buffer, size, &count, 0))
        return -1;
    return static_cast<int32_t>(count);
}

bool platform_write(platform_file file, const char* data, uint32_t size) {
    while (size > 0) {
        DWORD count = 0;
        if (!WriteFile(handle_of(file), data, size, &count, 0) || count == 0)
            return false;
        data += count;
        size -= count;
    }
    return true;
}

copy_status platform_copy(platform_file, uint32_t, platform_file, uint32_t) {
    return copy_not_offered;  // Windows 95 copies files only whole
}

// The files are far below 4 GB, so the high half of the offset stays 0 and
// INVALID_SET_FILE_POINTER can only mean failure.
bool platform_seek(platform_file file, uint32_t offset) {
    return SetFilePointer(handle_of(file), static_cast<LONG>(offset), 0, FILE_BEGIN) !=
           INVALID_SET_FILE_POINTER;
}

bool platform_flush(platform_file file) {
    return FlushFileBuffers(handle_of(file)) != 0;
}

bool platform_close(platform_file file) {
    return CloseHandle(handle_of(file)) != 0;
}

// MoveFileA fails when the new name exists: it never replaces a file.
bool platform_rename(const char* from, const char* to) {
    return MoveFileA(from, to) != 0;
}

bool platform_delete(const char* path) {
    return DeleteFileA(path) != 0;
}

// Windows 95 has no rename over a name (MoveFileExA is a stub there), and
// its files have one name each: the swap renames twice, and the calls of a
// replacement stay as they have always been.
bool platform_renames_over(const char*) {
    return false;
}
bool platform_rename_over(const char*, const char*) {
    return false;
}
bool platform_same_file(const char*, const char*) {
    return false;
}
bool platform_copy_attributes(const char*, const char*) {
    return true;
}
void platform_keep_file(const char*) {}

// Windows 95 has no symbolic links, and shows paths as they are written.
static bool copy_path(const char* path, char* copy, uint32_t size) {
    uint32_t i = 0;
    for (; path[i] != 0; ++i) {
        if (i + 1 >= size) {
            if (size > 0)
                copy[i] = 0;
            return false;
        }
        copy[i] = path[i];
    }
    copy[i] = 0;
    return true;
}

bool platform_real_path(const char* path, char* real, uint32_t size) {
    return copy_path(path, real, size);
}

void platform_shown_path(const char* path, char* shown, uint32_t size) {
    copy_path(path, shown, size);
}

// One copy of the program at a time is enough here (windows/windows_entry.cpp),
// and nothing can stop the program in the middle of a swap.
bool platform_begin_run(const char*) {
    return true;
}
void platform_end_run() {}
void platform_swap_begins() {}
void platform_swap_ends() {}
