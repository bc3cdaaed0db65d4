// qemu-img check before an image is exported (see qemu_check.h).
#include "qemu_check.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "../base/split_at.h"
#include "image_files.h"
#include "qemu_child.h"

namespace {

// The exit statuses of qemu-img check.
const int kCheckFailed = 1, kCorruptions = 2, kLeaksOnly = 3;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::string line : split_at(text, '\n')) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

bool begins_with(const std::string& line, const char* start) {
    return line.compare(0, strlen(start), start) == 0;
}

// The refcount lines that a dirty qcow2 shows until QEMU rebuilds them
// (qcow2-refcount.c: check_refcounts_l2 and check_oflag_copied).
bool is_refcount_line(const std::string& line) {
    return begins_with(line, "ERROR OFLAG_COPIED") ||
           (begins_with(line, "ERROR cluster ") && line.find(" refcount=") != std::string::npos &&
            line.find(" reference=") != std::string::npos);
}

// The first error line and qemu-img's own count of them, as one line.
std::string summary(const std::vector<std::string>& errors, const std::vector<std::string>& all) {
    std::string said = errors.empty() ? "" : errors[0];
    if (errors.size() > 1) said += " (and " + std::to_string(errors.size() - 1) + " more)";
    for (const std::string& line : all)
        if (line.find("were found on the image") != std::string::npos ||
            line.find("was found on the image") != std::string::npos ||
            begins_with(line, "Data may be corrupted"))
            said += (said.empty() ? "" : said.back() == '.' ? " " : "; ") + line;
    return said;
}

// qemu-img's complaint without its name and the image's: "Could not open
// 'driver=...': Unsupported cluster size: 2^0" says "Unsupported cluster
// size: 2^0".
std::string complaint(const std::vector<std::string>& lines) {
    std::string said;
    for (std::string line : lines) {
        if (begins_with(line, "qemu-img: ")) line.erase(0, 10);
        if (begins_with(line, "Could not open '")) {
            size_t end = line.find("': ");
            if (end != std::string::npos) line.erase(0, end + 3);
        }
        said += (said.empty() ? "" : " ") + line;
    }
    return said;
}

}  // namespace

qemu_check_result qemu_check(const std::string& file, const char* driver, bool dirty) {
    qemu_check_result result;
    std::string tool = program_on_path("qemu-img");
    char absolute[PATH_MAX];
    if (tool.empty()) {
        result.outcome = check_no_tool;
        return result;
    }
    if (realpath(file.c_str(), absolute) == nullptr) {
        result.outcome = check_unopened;
        result.said = strerror(errno);
        return result;
    }
    // The image named by options, as the export names it: no name is read
    // as a protocol or an option.  Its errors come with its output.
    std::string shown;
    int code = run_command(qemu_tool({tool, "check", "--output=human", "--image-opts",
                                      std::string("driver=") + driver +
                                          ",file.driver=file,file.filename=" +
                                          qemu_option_value(absolute)},
                                     kChildNull, kChildAsOutput),
                           &shown);
    std::vector<std::string> lines = lines_of(shown);
    std::vector<std::string> errors;
    bool only_refcounts = true;
    for (const std::string& line : lines) {
        if (!begins_with(line, "ERROR") && !begins_with(line, "Warning:")) continue;
        errors.push_back(line);
        if (!is_refcount_line(line)) only_refcounts = false;
    }
    std::string said = complaint(lines);
    if (code == 0 || code == kLeaksOnly || (code == kCorruptions && dirty && only_refcounts &&
                                            !errors.empty()))
        return result;
    if (said.find("does not support checks") != std::string::npos) {
        result.outcome = check_not_offered;
    } else if (is_lock_refusal(said)) {
        result.outcome = check_in_use;
    } else if (code == kCorruptions || (code == kCheckFailed && !errors.empty()) ||
               said.find("errors have occurred during the check") != std::string::npos) {
        result.outcome = check_damaged;
        result.said = summary(errors, lines);
    } else {
        result.outcome = check_unopened;
        result.said = said.empty() ? "qemu-img check ended with status " + std::to_string(code)
                                   : said;
    }
    return result;
}
