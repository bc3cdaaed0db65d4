// Reads and writes in order (see fd_io.h).
#include "fd_io.h"

#include <errno.h>
#include <unistd.h>

int32_t read_some(int fd, char* buffer, uint32_t size) {
    for (;;) {
        ssize_t count = read(fd, buffer, size);
        if (count >= 0) return (int32_t)count;
        if (errno != EINTR) return -1;
    }
}

bool write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t count = write(fd, data, size);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        data += count;
        size -= (size_t)count;
    }
    return true;
}
