#include "text.h"

uint32_t text_length(const char* text) {
    uint32_t length = 0;
    while (text[length] != '\0') length++;
    return length;
}

bool same_text_ignoring_case(const char* a, const char* b, uint32_t length) {
    for (uint32_t i = 0; i < length; i++)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

bool append_text(char* buffer, uint32_t size, const char* text) {
    if (size == 0) return false;
    uint32_t used = text_length(buffer);
    while (*text != '\0') {
        if (used + 1 >= size) {
            buffer[used] = '\0';
            return false;
        }
        buffer[used++] = *text++;
    }
    buffer[used] = '\0';
    return true;
}

bool join_text(char* buffer, uint32_t size, const char* first, const char* second) {
    if (size == 0) return false;
    buffer[0] = '\0';
    bool fits = append_text(buffer, size, first);
    return append_text(buffer, size, second) && fits;
}
