// What GNU mtools prints, read back: mdir's bare listing of a folder and
// mattrib's attribute letters.  The names come from the image's own folder
// entries, so these readers take any bytes; pure functions, shared by the
// file backend (image_files.cpp) and the fuzz target.
#ifndef TAMRIX_DISK_MTOOLS_OUTPUT_H
#define TAMRIX_DISK_MTOOLS_OUTPUT_H

#include <stdint.h>

#include <string>
#include <vector>

#include "image_files.h"

// The entries of `mdir -b -a` output: one line for each, its path, with a
// "/" after a folder's; "." and ".." and empty names left out.
std::vector<image_entry> mdir_entries(const std::string& output);

// The letters mattrib shows for each DOS attribute it reads and sets.
struct attribute_letter {
    char letter;
    uint32_t bit;
};
extern const attribute_letter kAttributeLetters[4];

// The attributes of a file as mattrib shows them, letters before its name:
// "  A  SHR     ::/WINDOWS/SYSTEM.DAT".
uint32_t mattrib_attributes(const std::string& output);

#endif
