// The `qemu-img convert` command offered for an image Tamrix cannot change in
// place, written so that it can be pasted into a shell as it is: names with
// blanks, quotes or other shell characters are quoted, a name that begins
// with "-" is not taken for an option, and the output never names a file
// that exists (the image itself above all).
#ifndef TAMRIX_DISK_CONVERT_HINT_H
#define TAMRIX_DISK_CONVERT_HINT_H

#include <string>

// Whether a file of that name exists; lstat, unless a test gives its own.
typedef bool (*name_taken)(const char* path);
bool file_exists(const char* path);

// `word` as one shell word: as it is when it holds only letters, digits and
// _ - . / + , : = @ %, else in single quotes.
std::string shell_word(const std::string& word);

// A name for the raw copy of `image`, beside it: its name with the
// extension made ".img", else "-raw.img", else ".1.img", ".2.img" and so on,
// the first that `taken` does not know.
std::string raw_copy_name(const std::string& image, name_taken taken = file_exists);

// "qemu-img convert -f FORMAT -O raw IMAGE RAW", each name a shell word.
std::string convert_command(const std::string& image, const char* format,
                            name_taken taken = file_exists);

#endif
