// Cutting a text at a separator: the lines of a tool's output or a
// descriptor, the names of a path, the folders of $PATH, a registry key's
// path.
#ifndef TAMRIX_BASE_SPLIT_AT_H
#define TAMRIX_BASE_SPLIT_AT_H

#include <string>
#include <vector>

// The pieces of `text` between separators, empty ones included: n
// separators give n + 1 pieces ("a::b/" at ':' is "a", "", "b/").  Each
// caller skips the empty pieces it has no use for.
inline std::vector<std::string> split_at(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
        pieces.push_back(text.substr(start, end - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

#endif
