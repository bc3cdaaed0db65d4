// The children of the QEMU tools (see qemu_child.h).
#include "qemu_child.h"

child_command qemu_tool(const std::vector<std::string>& words, int out, int err) {
    child_command tool;
    tool.words = words;
    tool.own_process_group = true;
    tool.dies_with_us = true;
    tool.signals = signals_as_new;
    tool.out = out;
    tool.err = err;
    return tool;
}

// QEMU's block/file-posix.c: "Failed to get \"write\" lock" where another
// QEMU holds the image, and "Failed to lock byte N" where a lock of
// another program's (one over the whole file) covers its lock bytes.
bool is_lock_refusal(const std::string& said) {
    return (said.find("Failed to get") != std::string::npos &&
            said.find("lock") != std::string::npos) ||
           said.find("Failed to lock byte") != std::string::npos;
}

std::string qemu_option_value(const std::string& value) {
    std::string escaped;
    for (char c : value) {
        escaped += c;
        if (c == ',') escaped += ',';
    }
    return escaped;
}
