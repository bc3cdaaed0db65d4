// Install's edit of machine.inf: each group goes directly in front of the
// first entry line of its kind after its section header.
#include "inf_templates.h"

// The IRQ router values sit under the PCI key's IRQMiniports subkey; the
// comma that ends kPciValueAnchor keeps it from matching them.
static const char kPciValueAnchor[] = "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI,";
static const char kIrqRouterAnchor[] =
    "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\IRQMiniports";

// Finds the section, then its first entry line, and writes the group there.
// Where either search fails, nothing is written and the input stays put.
static bool insert_before_entry(const char* section, const char* entry,
                                const template_group* group) {
    if (!copy_until_anchor(section) || !copy_until_anchor(entry)) return false;
    write_group(group);
    return true;
}

// The groups of machine.inf, in the order of the pre-scan and of the
// merge, and where each goes, as status names it.
static template_group* const kChipsetGroups[kMostGroups] = {
    &sys_device_lines, &pci_addreg_lines, &irq_miniport_lines, &exclude_lines,
    &chipset_string_lines};
static const char* const kChipsetPlaces[kMostGroups] = {
    "[MS_SYS]", "[PCI_DRV_AddReg]", "its IRQMiniports values", "[ControlFlags]", "[Strings]"};
const uint32_t kIrqRouterGroup = 2;

// The groups that take part on `windows_kind`: the IRQ router lines only
// on kind 2.
static uint32_t chipset_groups(template_group* groups[kMostGroups], int windows_kind,
                               const char* places[kMostGroups] = nullptr) {
    uint32_t group_count = 0;
    for (uint32_t i = 0; i < kMostGroups; i++) {
        if (i == kIrqRouterGroup && windows_kind != 2) continue;
        if (places != nullptr) places[group_count] = kChipsetPlaces[i];
        groups[group_count++] = kChipsetGroups[i];
    }
    return group_count;
}

// The merge's searches, after the pre-scan: each group written where its
// anchors are found; `placed`, by group, says where they were.
static void insert_groups(int windows_kind, bool placed[kMostGroups]) {
    uint32_t g = 0;
    placed[g++] = insert_before_entry("[MS_SYS]", "%PCI\\VEN_", &sys_device_lines);
    placed[g++] = insert_before_entry("[PCI_DRV_AddReg]", kPciValueAnchor, &pci_addreg_lines);
    // No section anchor: the search goes on from where the PCI value was found.
    if (windows_kind == 2) {
        placed[g] = copy_until_anchor(kIrqRouterAnchor);
        if (placed[g++]) write_group(&irq_miniport_lines);
    }
    placed[g++] = insert_before_entry("[ControlFlags]", "ExcludeFromSelect=PCI\\VEN_",
                                      &exclude_lines);
    placed[g++] = insert_before_entry("[Strings]", "PCI\\VEN_", &chipset_string_lines);
}

// Which of the groups' lines that are still enabled (absent from the file)
// had no place, after insert_groups.
static missing_places without_place(template_group* const groups[kMostGroups],
                                    uint32_t group_count, const char* const places[kMostGroups],
                                    const bool placed[kMostGroups]) {
    missing_places missing = {};
    for (uint32_t g = 0; g < group_count; g++) {
        uint32_t absent = 0;
        for (uint32_t i = 0; i < groups[g]->count; i++)
            if (line_enabled(group_line(groups[g], i))) absent++;
        if (placed[g] || absent == 0) continue;
        missing.lines += absent;
        missing.place[missing.count] = places[g];
        missing.place_lines[missing.count++] = absent;
    }
    return missing;
}

missing_places chipset_merge_missing;

template_count count_chipset_lines(int windows_kind, missing_places* missing) {
    template_group* groups[kMostGroups];
    const char* places[kMostGroups];
    uint32_t group_count = chipset_groups(groups, windows_kind, places);
    template_count count = count_present(groups, group_count);
    // The merge's searches over the lines the pre-scan left enabled (those
    // absent), writing nothing.
    bool placed[kMostGroups];
    attach_output(kNoFile);
    insert_groups(windows_kind, placed);
    *missing = without_place(groups, group_count, places, placed);
    return count;
}

void merge_chipset_inf(int windows_kind) {
    template_group* groups[kMostGroups];
    const char* places[kMostGroups];
    uint32_t group_count = chipset_groups(groups, windows_kind, places);

    // Every edit starts from the full text, whatever ran before it.
    for (uint32_t i = 0; i < group_count; i++) rearm_group(groups[i]);
    mark_present(groups, group_count);

    bool placed[kMostGroups];
    insert_groups(windows_kind, placed);
    chipset_merge_missing = without_place(groups, group_count, places, placed);
    copy_until_anchor(nullptr);
}
