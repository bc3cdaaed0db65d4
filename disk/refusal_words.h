// Words that the refusals of the Linux program share, each written once.
//
// The end of every refusal that leaves the user's files as they were:
//
//   nothing_changed("X is read-only")   ->  "X is read-only; nothing was changed."
//   nothing_changed("It is refused.")   ->  "It is refused; nothing was changed."
//
// What the user can do about it follows in a sentence of its own.
#ifndef TAMRIX_DISK_REFUSAL_WORDS_H
#define TAMRIX_DISK_REFUSAL_WORDS_H

#include <errno.h>
#include <string.h>

#include <string>

inline std::string nothing_changed(std::string why) {
    if (!why.empty() && why.back() == '.') why.pop_back();
    return why + "; nothing was changed.";
}

// A folder, an image or a device that another Tamrix is changing.
inline std::string held_by_another_tamrix(const std::string& shown) {
    return nothing_changed("Another Tamrix is changing " + shown + " right now") +
           "  Try again when it has finished.";
}

// An image file that cannot be opened, with the reason errno gives.
inline std::string cannot_open_image(const std::string& shown) {
    return "Can't open the disk image " + shown + ": " + strerror(errno);
}

#endif
