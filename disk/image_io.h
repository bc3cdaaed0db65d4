// Reading and writing a whole stretch of a disk image at an offset,
// whatever pread and pwrite do in parts or through EINTR.
#ifndef TAMRIX_DISK_IMAGE_IO_H
#define TAMRIX_DISK_IMAGE_IO_H

#include <stddef.h>
#include <stdint.h>

// False when an error or the end of the file came first.
bool read_at(int fd, uint64_t offset, void* buffer, size_t size);
bool write_at(int fd, uint64_t offset, const void* buffer, size_t size);

#endif
