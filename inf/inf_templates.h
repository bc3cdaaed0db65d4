// The lines Tamrix adds to machine.inf and usb.inf, and the edits that add
// them.  Every template line ends in kMarker, so Uninstall can find it again.
#ifndef TAMRIX_INF_INF_TEMPLATES_H
#define TAMRIX_INF_INF_TEMPLATES_H

#include "../engine/inf_engine.h"

// ---- machine.inf ----------------------------------------------------------
extern template_group sys_device_lines;      // models under [MS_SYS]
extern template_group pci_addreg_lines;      // PCI value under [PCI_DRV_AddReg]
extern template_group irq_miniport_lines;    // IRQ router values, platform kind 2 only
extern template_group exclude_lines;         // [ControlFlags] exclusions
extern template_group chipset_string_lines;  // device names under [Strings]

// ---- usb.inf ----------------------------------------------------------------
// Each USB group starts with its own section header line.
extern template_group usb_version_lines;
extern template_group usb_manufacturer_lines;
extern template_group usb_model_lines;
extern template_group usb_string_lines;

// The edits: read in_file from its start, write the whole new text to
// out_file, open and close nothing.  `windows_kind` is the kind of Windows
// being patched (see windows_kind in system/): on kind 2 the chipset merge
// takes the IRQ router lines in, in the pre-scan too; the USB merge and
// Uninstall (which removes the marked lines of either file) are the same
// on every kind.
void merge_chipset_inf(int windows_kind);
void merge_usb_inf(int windows_kind);
void uninstall_inf(int windows_kind);

// The template lines that in_file has no place for.  The chipset merge
// writes nothing of a group whose section or entry line is missing, or
// stands only before the place where the group in front of it went: a
// Windows 98 machine.inf, whose chipset sections are in machine2.inf, has
// room for a few lines only.  The USB merge makes a section that is
// missing, so every usb.inf has a place for all of its lines.
const uint32_t kMostGroups = 5;
struct missing_places {
    uint32_t lines;                     // template lines absent and without a place
    uint32_t count;                     // the groups they belong to
    const char* place[kMostGroups];     // where each group would go: "[MS_SYS]"
    uint32_t place_lines[kMostGroups];  // and how many of its lines are absent
};

// What the last chipset merge had no place for, found as it wrote: the run
// that made the file tells of it without reading the file again.
extern missing_places chipset_merge_missing;

// The template lines each merge would add, and those of them that in_file
// already holds; and in `missing` those that it has no place for.  They
// read the whole input and leave it at its end.
template_count count_chipset_lines(int windows_kind, missing_places* missing);
template_count count_usb_lines(int windows_kind, missing_places* missing);

// The text of a new usb.inf, where there is none: the four USB groups alone.
void write_new_usb_inf();

#endif
