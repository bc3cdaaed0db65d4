// Whole reads and writes at an offset (see image_io.h).
#include "image_io.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

namespace {

bool transfer(int fd, uint64_t offset, unsigned char* buffer, size_t size, bool writing) {
    while (size > 0) {
        ssize_t count = writing ? pwrite(fd, buffer, size, (off_t)offset)
                                : pread(fd, buffer, size, (off_t)offset);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        buffer += count;
        offset += (uint64_t)count;
        size -= (size_t)count;
    }
    return true;
}

}  // namespace

bool read_at(int fd, uint64_t offset, void* buffer, size_t size) {
    return transfer(fd, offset, (unsigned char*)buffer, size, false);
}

bool write_at(int fd, uint64_t offset, const void* buffer, size_t size) {
    return transfer(fd, offset, (unsigned char*)buffer, size, true);
}

namespace {

bool read_file_source(const byte_source& source, uint64_t offset, void* buffer, size_t size) {
    return source.base + offset >= offset && read_at(source.fd, source.base + offset, buffer, size);
}

bool read_memory_source(const byte_source& source, uint64_t offset, void* buffer, size_t size) {
    if (offset > source.size || size > source.size - offset) return false;
    memcpy(buffer, source.bytes + offset, size);
    return true;
}

}  // namespace

byte_source file_source(int fd, uint64_t base) {
    return {read_file_source, fd, base, nullptr, 0};
}

byte_source memory_source(const unsigned char* bytes, size_t size) {
    return {read_memory_source, -1, 0, bytes, size};
}
