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
static void insert_before_entry(const char* section, const char* entry,
                                const template_group* group) {
    if (copy_until_anchor(section) && copy_until_anchor(entry)) write_group(group);
}

// The groups of machine.inf, in the order of the pre-scan.  The IRQ router
// lines take part only on kind 2.
static uint32_t chipset_groups(template_group* groups[5], int windows_kind) {
    uint32_t group_count = 0;
    groups[group_count++] = &sys_device_lines;
    groups[group_count++] = &pci_addreg_lines;
    if (windows_kind == 2) groups[group_count++] = &irq_miniport_lines;
    groups[group_count++] = &exclude_lines;
    groups[group_count++] = &chipset_string_lines;
    return group_count;
}

template_count count_chipset_lines(int windows_kind) {
    template_group* groups[5];
    return count_present(groups, chipset_groups(groups, windows_kind));
}

void merge_chipset_inf(int windows_kind) {
    bool irq_router = windows_kind == 2;
    template_group* groups[5];
    uint32_t group_count = chipset_groups(groups, windows_kind);

    // Every edit starts from the full text, whatever ran before it.
    for (uint32_t i = 0; i < group_count; i++) rearm_group(groups[i]);
    mark_present(groups, group_count);

    insert_before_entry("[MS_SYS]", "%PCI\\VEN_", &sys_device_lines);
    insert_before_entry("[PCI_DRV_AddReg]", kPciValueAnchor, &pci_addreg_lines);
    // No section anchor: the search goes on from where the PCI value was found.
    if (irq_router && copy_until_anchor(kIrqRouterAnchor)) write_group(&irq_miniport_lines);
    insert_before_entry("[ControlFlags]", "ExcludeFromSelect=PCI\\VEN_", &exclude_lines);
    insert_before_entry("[Strings]", "PCI\\VEN_", &chipset_string_lines);
    copy_until_anchor(nullptr);
}
