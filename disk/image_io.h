// Reading and writing a whole stretch of a disk image at an offset,
// whatever pread and pwrite do in parts or through EINTR; and the source of
// bytes that the readers of the image's structures (the partition tables,
// the FAT volume) read through: the image's descriptor in the program,
// bytes in memory in the fuzz targets and tests, with one copy of the
// reading logic for both.
#ifndef TAMRIX_DISK_IMAGE_IO_H
#define TAMRIX_DISK_IMAGE_IO_H

#include <stddef.h>
#include <stdint.h>

// False when an error or the end of the file came first.
bool read_at(int fd, uint64_t offset, void* buffer, size_t size);
bool write_at(int fd, uint64_t offset, const void* buffer, size_t size);

// Where a reader's bytes come from: `read` fills `size` bytes from `offset`
// (counted from the source's own start) or says false, as read_at does.
struct byte_source {
    bool (*read)(const byte_source& source, uint64_t offset, void* buffer, size_t size);
    int fd;                      // file_source: the file
    uint64_t base;               // file_source: where the source starts in it
    const unsigned char* bytes;  // memory_source: the bytes
    size_t size;                 // memory_source: how many
};

// The bytes of the file open as `fd` from byte `base` on.
byte_source file_source(int fd, uint64_t base);
// `size` bytes in memory; a read that passes their end fails.
byte_source memory_source(const unsigned char* bytes, size_t size);

inline bool read_source(const byte_source& source, uint64_t offset, void* buffer, size_t size) {
    return source.read(source, offset, buffer, size);
}

#endif
