// Install's edit of usb.inf, and the text of a new one where there is none.
// Each USB group starts with its own section header, so it either fills the
// existing section (its header line then already present) or makes it.
#include "inf_templates.h"

static template_group* const usb_groups[] = {&usb_version_lines, &usb_manufacturer_lines,
                                             &usb_model_lines, &usb_string_lines};
const uint32_t kUsbGroupCount = 4;

// Searched in this order; each step's group follows its header.
static const char* const usb_headers[kUsbGroupCount] = {"[VERSION]", "[Manufacturer]",
                                                        "[INTEL.SECTION]", "[Strings]"};

static void rearm_usb_groups() {
    for (uint32_t i = 0; i < kUsbGroupCount; i++) rearm_group(usb_groups[i]);
}

// Moves on to the next section header, or to the end of the input when no
// header follows, so that what is written next opens a section of its own
// and captures no line of the section the input stands in.
static void copy_to_section_boundary() {
    if (!copy_until_anchor("[")) copy_until_anchor(nullptr);
}

// A header line of the group starts its section only at a section boundary.
static void write_usb_group(const template_group* group) {
    for (uint32_t i = 0; i < group->count; i++) {
        const char* line = group_line(group, i);
        if (!line_enabled(line)) continue;
        if (line[0] == '[') copy_to_section_boundary();
        write_template_line(line);
    }
}

template_count count_usb_lines(int, missing_places* missing) {
    *missing = missing_places{};
    return count_present(usb_groups, kUsbGroupCount);
}

void merge_usb_inf(int) {
    rearm_usb_groups();
    mark_present(usb_groups, kUsbGroupCount);
    for (uint32_t i = 0; i < kUsbGroupCount; i++) {
        if (!copy_through_header(usb_headers[i])) copy_to_section_boundary();
        write_usb_group(usb_groups[i]);
    }
    copy_until_anchor(nullptr);
}

void write_new_usb_inf() {
    rearm_usb_groups();
    for (uint32_t i = 0; i < kUsbGroupCount; i++) write_group(usb_groups[i]);
}
