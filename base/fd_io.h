// Reading and writing a descriptor in order, whatever read and write do in
// parts or through EINTR: the files of a Linux folder and the scratch
// copies of a disk image's files are read and written alike.
#ifndef TAMRIX_BASE_FD_IO_H
#define TAMRIX_BASE_FD_IO_H

#include <stddef.h>
#include <stdint.h>

// Up to `size` bytes: the count read, 0 at the end, -1 on an error.
int32_t read_some(int fd, char* buffer, uint32_t size);
// All `size` bytes, or false.
bool write_all(int fd, const char* data, size_t size);

#endif
