#include "text.h"

uint32_t text_length(const char* text) {
    uint32_t length = 0;
    while (text[length] != '\0') length++;
    return length;
}

bool same_text_ignoring_case(const char* a, const char* b, uint32_t length) {
    uint32_t i = 0;
    // Texts mostly agree in case too: eight equal bytes need no folding.
    for (; i + 8 <= length; i += 8) {
        uint64_t word_a, word_b;
        __builtin_memcpy(&word_a, a + i, 8);
        __builtin_memcpy(&word_b, b + i, 8);
        if (word_a == word_b) continue;
        for (uint32_t j = i; j < i + 8; j++)
            if (ascii_lower(a[j]) != ascii_lower(b[j])) return false;
    }
    for (; i < length; i++)
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
