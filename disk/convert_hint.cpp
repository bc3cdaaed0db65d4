// The paste-safe conversion command (see convert_hint.h).
#include "convert_hint.h"

#include <string.h>
#include <sys/stat.h>

bool file_exists(const char* path) {
    struct stat info;
    return lstat(path, &info) == 0;
}

std::string shell_word(const std::string& word) {
    bool plain = !word.empty();
    for (char c : word)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              strchr("_-./+,:=@%", c) != nullptr))
            plain = false;
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

namespace {

// A name that begins with "-" would be read as an option.
std::string not_an_option(const std::string& path) {
    return !path.empty() && path[0] == '-' ? "./" + path : path;
}

}  // namespace

std::string raw_copy_name(const std::string& image, name_taken taken) {
    std::string stem = image;
    size_t dot = stem.find_last_of('.');
    size_t slash = stem.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        stem.resize(dot);
    for (int attempt = 0;; attempt++) {
        std::string name = stem + (attempt == 0   ? ".img"
                                   : attempt == 1 ? "-raw.img"
                                                  : "." + std::to_string(attempt - 1) + ".img");
        if (name != image && !taken(name.c_str())) return name;
    }
}

std::string convert_command(const std::string& image, const char* format, name_taken taken) {
    return std::string("qemu-img convert -f ") + format + " -O raw " +
           shell_word(not_an_option(image)) + " " +
           shell_word(not_an_option(raw_copy_name(image, taken)));
}
