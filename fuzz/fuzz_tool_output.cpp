// libFuzzer target: the readers of what other programs print, whose words
// carry names and bytes from the image: mdir's listing and mattrib's
// letters (disk/mtools_output.h), qemu-img check's output
// (disk/qemu_check.h) and qemu-storage-daemon's log (disk/image_export.h).
// The first byte chooses the reader (and, for qemu-img check, its exit
// status and whether the image is dirty); the rest is the text.  Each
// reading must hold what its callers count on: names without slashes, no
// "." or "..", only the four attribute bits, a check status that agrees
// with qemu-img's, and words for the user on one line.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "../disk/image_export.h"
#include "../disk/mtools_output.h"
#include "../disk/qemu_check.h"

namespace {

[[noreturn]] void broken(const char* what, const std::string& detail) {
    fprintf(stderr, "\ntool output property broken: %s: \"%s\"\n", what, detail.c_str());
    abort();
}

void one_line(const char* what, const std::string& words) {
    if (words.find('\n') != std::string::npos || words.find('\r') != std::string::npos)
        broken(what, words);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string text((const char*)data + 1, size - 1);
    switch (data[0] % 4) {
        case 0:
            for (const image_entry& entry : mdir_entries(text))
                if (entry.name.empty() || entry.name.find('/') != std::string::npos ||
                    entry.name.find('\n') != std::string::npos || entry.name == "." ||
                    entry.name == "..")
                    broken("an mdir entry", entry.name);
            break;
        case 1:
            if ((mattrib_attributes(text) & ~0x27u) != 0) broken("mattrib's attributes", text);
            break;
        case 2: {
            int code = data[0] >> 2 & 7;  // qemu-img check's statuses are 0 to 3
            bool dirty = (data[0] & 0x20) != 0;
            qemu_check_result result = read_qemu_check(code, text, dirty);
            // Sound on no errors or leaks alone, or a dirty image's refcounts alone.
            bool sound_status = code == 0 || code == 3 || (code == 2 && dirty);
            if ((code == 0 || code == 3) && result.outcome != check_sound)
                broken("a sound check read as not sound", std::to_string(code));
            if (result.outcome == check_sound && !sound_status)
                broken("a failed check read as sound", std::to_string(code));
            one_line("qemu-img check's words", result.said);
            break;
        }
        default:
            one_line("the daemon's words", daemon_words(text));
            break;
    }
    return 0;
}
