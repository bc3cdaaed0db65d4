// Small text helpers for a core that has no C library.
#ifndef TAMRIX_ENGINE_TEXT_H
#define TAMRIX_ENGINE_TEXT_H

#include <stdint.h>
uint32_t text_length(const char* text);

// ASCII letters compare without regard to case; no other folding.
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c; }
// True when the first `length` bytes of `a` and `b` are equal, ignoring the
// case of ASCII letters.
bool same_text_ignoring_case(const char* a, const char* b, uint32_t length);

// Builds `first` followed by `second` in `buffer`, or appends `text` to the
// NUL-terminated text there.  False, leaving a cut-off but terminated text,
// when it does not fit.
bool join_text(char* buffer, uint32_t size, const char* first, const char* second);
bool append_text(char* buffer, uint32_t size, const char* text);

#endif
