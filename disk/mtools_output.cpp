// Reading what mtools prints (see mtools_output.h).
#include "mtools_output.h"

#include "../base/split_at.h"

const attribute_letter kAttributeLetters[4] = {{'R', 0x01}, {'H', 0x02}, {'S', 0x04}, {'A', 0x20}};

std::vector<image_entry> mdir_entries(const std::string& output) {
    std::vector<image_entry> entries;
    for (std::string line : split_at(output, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        bool is_folder = !line.empty() && line.back() == '/';
        if (is_folder) line.pop_back();
        std::string name = line.substr(line.find_last_of('/') + 1);
        if (name.empty() || name == "." || name == "..") continue;
        entries.push_back({name, is_folder});
    }
    return entries;
}

uint32_t mattrib_attributes(const std::string& output) {
    // The letters stand before the name, which may hold any of them.
    std::string letters = output.substr(0, output.find("::"));
    uint32_t attributes = 0;
    for (const attribute_letter& known : kAttributeLetters)
        if (letters.find(known.letter) != std::string::npos) attributes |= known.bit;
    return attributes;
}
