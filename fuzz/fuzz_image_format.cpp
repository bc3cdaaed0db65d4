// libFuzzer target: naming a disk image's format from its bytes
// (disk/image_formats.h).  The input is the whole file: its first
// kFormatHeadBytes are the head and its last 512 bytes the tail, each in a
// buffer of exactly that size, so that AddressSanitizer stops any read past
// them.  Every file must be named one format or refused with a reason,
// never both: a refusal carries its sentence, a format that is changed
// carries none, and the QEMU driver named is one QEMU has for it.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../disk/image_formats.h"

namespace {

[[noreturn]] void broken(const char* what, const image_format& format) {
    fprintf(stderr, "\nformat property broken: %s (way %d, \"%s\", driver \"%s\", refusal \"%s\")\n",
            what, (int)format.way, format.what, format.qemu_driver, format.refusal.c_str());
    abort();
}

bool one_of(const char* driver, const std::vector<const char*>& drivers) {
    for (const char* known : drivers)
        if (strcmp(driver, known) == 0) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t head_size = size < kFormatHeadBytes ? size : kFormatHeadBytes;
    std::vector<unsigned char> head(data, data + head_size);
    std::vector<unsigned char> tail;
    if (size >= kFormatTailBytes) tail.assign(data + size - kFormatTailBytes, data + size);
    head.shrink_to_fit();
    image_format format = name_image_format(head.data(), head_size, tail.empty() ? nullptr : tail.data());

    bool refused = format.way == image_refused;
    if (format.what == nullptr || format.what[0] == '\0') broken("no name for it", format);
    if (refused != !format.refusal.empty()) broken("refused without a reason, or both", format);
    if ((format.damaged || format.convertible) && !refused)
        broken("damaged or convertible, yet not refused", format);
    if (format.dirty && (format.way != image_through_qemu || strcmp(format.qemu_driver, "qcow2") != 0))
        broken("dirty, yet no qcow2 changed through QEMU", format);
    if (format.way == image_direct && !one_of(format.qemu_driver, {"raw", "vpc"}))
        broken("changed directly, yet neither raw nor a fixed VHD", format);
    if (format.way == image_through_qemu &&
        !one_of(format.qemu_driver, {"qcow2", "vdi", "vmdk", "vpc", "vhdx"}))
        broken("changed through QEMU with a driver it has not", format);
    if (refused && format.convertible && format.qemu_driver[0] == '\0')
        broken("convertible without a driver to read it", format);
    if (!format.refusal.empty() && format.refusal.find('\n') != std::string::npos)
        broken("a refusal of more than one line", format);
    return 0;
}
