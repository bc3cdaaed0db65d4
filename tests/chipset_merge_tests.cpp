// Install and Uninstall of machine.inf, byte for byte: where each group of
// chipset lines goes, what counts as already present, and what stripping
// gives back.  Every case is merged, merged once more (which must add
// nothing) and stripped.
#include "inf_fixtures.h"

namespace {

using namespace fx;
using namespace std::string_literals;

// A small machine.inf, section by section.  The entry lines name chipsets
// that Tamrix does not add, so none of them counts as present.
const std::string kHead =
    "; MACHINE.INF for the tests\n"
    "[Version]\n"
    "Signature=\"$CHICAGO$\"\n"
    "Class=System\n"
    "\n"
    "[Manufacturer]\n"
    "%Std%=MS_SYS\n"
    "\n";
const std::string kSys = "[MS_SYS]\n%*PNP0000.DeviceDesc%=PIC_DRV,*PNP0000\n";
const std::string kSysPci =
    "%PCI\\VEN_8086&DEV_122E.DeviceDesc%=ISA_DRV,PCI\\VEN_8086&DEV_122E\n"
    "%PCI\\VEN_8086&DEV_7000.DeviceDesc%=ISA_DRV,PCI\\VEN_8086&DEV_7000\n"
    "\n";
const std::string kAdd = "[PCI_DRV_AddReg]\nHKR,,DevLoader,,*CONFIGMG\n";
const std::string kAddPci = "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI,70008086,1,00,00,08,00\n";
const std::string kIrqLine =
    "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\IRQMiniports\\122E8086,Name,,\"Intel 82371FB\"\n";
const std::string kAddIrq = kIrqLine + "\n";
const std::string kFlags = "[ControlFlags]\n";
const std::string kFlagsEx = "ExcludeFromSelect=PCI\\VEN_8086&DEV_122E\n\n";
const std::string kStr = "[Strings]\nStd=\"Standard system devices\"\n";
const std::string kStrPci = "PCI\\VEN_8086&DEV_122E.DeviceDesc=\"Intel 82371FB PCI to ISA bridge\"\n";

const std::string kBase = kHead + kSys + kSysPci + kAdd + kAddPci + kAddIrq + kFlags + kFlagsEx + kStr + kStrPci;

// The groups as Tamrix writes them.
const std::string SYS = marked("sys_device_lines");
const std::string PCI = marked("pci_addreg_lines");
const std::string IRQ = marked("irq_miniport_lines");
const std::string EXC = marked("exclude_lines");
const std::string STR = marked("chipset_string_lines");

// kBase after Install up to the end of [ControlFlags], on kind 1.
const std::string kMergedToFlags = kHead + kSys + SYS + kSysPci + kAdd + PCI + kAddPci + kAddIrq + kFlags + EXC + kFlagsEx;
const std::string kMerged1 = kMergedToFlags + kStr + STR + kStrPci;
const std::string kMerged2 =
    kHead + kSys + SYS + kSysPci + kAdd + PCI + kAddPci + IRQ + kAddIrq + kFlags + EXC + kFlagsEx + kStr + STR + kStrPci;
const std::string kBaseToFlags = kHead + kSys + kSysPci + kAdd + kAddPci + kAddIrq + kFlags + kFlagsEx;

// The same file typed in lower case, entries included.
const std::string kLowSys = "[ms_sys]\n%*pnp0000.devicedesc%=pic_drv,*pnp0000\n";
const std::string kLowSysPci =
    "%pci\\ven_8086&dev_122e.devicedesc%=isa_drv,pci\\ven_8086&dev_122e\n"
    "%pci\\ven_8086&dev_7000.devicedesc%=isa_drv,pci\\ven_8086&dev_7000\n"
    "\n";
const std::string kLowAdd = "[pci_drv_addreg]\nhkr,,devloader,,*configmg\n";
const std::string kLowAddPci = "hklm,system\\currentcontrolset\\services\\vxd\\pci,70008086,1,00,00,08,00\n";
const std::string kLowAddIrq =
    "hklm,system\\currentcontrolset\\services\\vxd\\pci\\irqminiports\\122e8086,name,,\"intel 82371fb\"\n\n";
const std::string kLowFlags = "[controlflags]\nexcludefromselect=pci\\ven_8086&dev_122e\n\n";
const std::string kLowStr = "[strings]\nstd=\"standard system devices\"\n";
const std::string kLowStrPci = "pci\\ven_8086&dev_122e.devicedesc=\"intel 82371fb pci to isa bridge\"\n";

// A line of 300 characters whose second piece holds `text`.
std::string second_piece(const std::string& text) { return "; " + std::string(252, '-') + text + "\n"; }

// Template lines without their marker, as a user might have typed them.
const std::string k7110Model = group_lines("sys_device_lines")[0];
const std::string k7110String = group_lines("chipset_string_lines")[0];
const std::string k5597String = group_lines("chipset_string_lines")[6];
const std::string k5571String = group_lines("chipset_string_lines")[5];
const std::string k5597Lower = lower(k5597String) + "\n";

struct merge_case {
    const char* what;
    int kind;
    std::string input;                    // machine.inf on disk
    std::string expected;                 // after Install
    std::optional<std::string> restored;  // after a following Uninstall; none: the input
};

class chipset_merge_test : public inf_test {
protected:
    std::string install(int kind) {
        return run(chipset_file, merge_chipset_inf, kind);
    }
    std::string uninstall() { return run(chipset_file, uninstall_inf); }

    void check(const merge_case& c) {
        SCOPED_TRACE(c.what);
        put(chipset_file, c.input);
        EXPECT_BYTES(c.expected, install(c.kind));
        EXPECT_BYTES(c.expected, install(c.kind));
        EXPECT_BYTES(c.restored ? *c.restored : c.input, uninstall());
    }
};

TEST_F(chipset_merge_test, groups_go_in_front_of_the_first_entry_of_their_section) {
    const merge_case cases[] = {
        {"kind 1: four groups; the first entries are not PCI ones", 1, dos(kBase), dos(kMerged1), {}},
        {"kind 2: the IRQ-router lines in front of the first IRQMiniports line", 2, dos(kBase), dos(kMerged2), {}},
        {"kind 0 adds no IRQ-router lines", 0, dos(kBase), dos(kMerged1), {}},
        {"LF-only input", 1, kBase, dos(kMerged1), dos(kBase)},
        {"mixed line ends", 2,
         dos(kHead + kSys) + kSysPci + dos(kAdd + kAddPci) + kAddIrq + dos(kFlags + kFlagsEx + kStr) + kStrPci,
         dos(kMerged2), dos(kBase)},
        {"lower-case headers and entries", 2,
         dos(kHead + kLowSys + kLowSysPci + kLowAdd + kLowAddPci + kLowAddIrq + kLowFlags + kLowStr + kLowStrPci),
         dos(kHead + kLowSys + SYS + kLowSysPci + kLowAdd + PCI + kLowAddPci + IRQ + kLowAddIrq +
             "[controlflags]\n" + EXC + "excludefromselect=pci\\ven_8086&dev_122e\n\n" + kLowStr + STR + kLowStrPci),
         {}},
        {"blanks and tabs before headers and entries", 2,
         dos(kHead + "  [MS_SYS]\n" + "\t%PCI\\VEN_8086&DEV_7000.DeviceDesc%=ISA_DRV,PCI\\VEN_8086&DEV_7000\n\n" +
             "\t[PCI_DRV_AddReg]\n  " + kAddPci + " \t" + kIrqLine + "\n [ControlFlags]\n\t\t" + kFlagsEx +
             "\t [Strings]\n   " + kStrPci),
         dos(kHead + "  [MS_SYS]\n" + SYS + "\t%PCI\\VEN_8086&DEV_7000.DeviceDesc%=ISA_DRV,PCI\\VEN_8086&DEV_7000\n\n" +
             "\t[PCI_DRV_AddReg]\n" + PCI + "  " + kAddPci + IRQ + " \t" + kIrqLine + "\n [ControlFlags]\n" + EXC +
             "\t\t" + kFlagsEx + "\t [Strings]\n" + STR + "   " + kStrPci),
         {}},
        {"a look-alike header before the real one", 1,
         dos(kHead + "[MS_SYS.Old]\n%PCI\\VEN_8086&DEV_0484.DeviceDesc%=ISA_DRV,PCI\\VEN_8086&DEV_0484\n\n" + kSys +
             kSysPci + kAdd + kAddPci + kAddIrq + kFlags + kFlagsEx + "[Strings.Old]\n" + kStrPci + kStr + kStrPci),
         dos(kHead + "[MS_SYS.Old]\n%PCI\\VEN_8086&DEV_0484.DeviceDesc%=ISA_DRV,PCI\\VEN_8086&DEV_0484\n\n" + kSys +
             SYS + kSysPci + kAdd + PCI + kAddPci + kAddIrq + kFlags + EXC + kFlagsEx + "[Strings.Old]\n" + kStrPci +
             kStr + STR + kStrPci),
         {}},
    };
    for (const merge_case& c : cases) check(c);
}

TEST_F(chipset_merge_test, lines_already_present_are_not_added_again) {
    const std::string all_plain = plain("sys_device_lines") + plain("pci_addreg_lines") + plain("irq_miniport_lines") + plain("exclude_lines") +
                                  plain("chipset_string_lines");
    const std::string in_place = kHead + kSys + plain("sys_device_lines") + kSysPci + kAdd + plain("pci_addreg_lines") + kAddPci +
                                 plain("irq_miniport_lines") + kAddIrq + kFlags + plain("exclude_lines") + kFlagsEx + kStr +
                                 plain("chipset_string_lines") + kStrPci;
    const std::string irq_typed = kHead + kSys + kSysPci + kAdd + kAddPci + plain("irq_miniport_lines") + kAddIrq + kFlags +
                                  kFlagsEx + kStr + kStrPci;
    const std::string irq_typed_merged = kHead + kSys + SYS + kSysPci + kAdd + PCI + kAddPci + plain("irq_miniport_lines") +
                                         kAddIrq + kFlags + EXC + kFlagsEx + kStr + STR + kStrPci;
    const merge_case cases[] = {
        {"every line typed in its section, kind 2", 2, dos(in_place), dos(in_place), {}},
        {"every line typed in its section, kind 1", 1, dos(in_place), dos(in_place), {}},
        {"every line typed in a section of its own at the end", 2, dos(kBase + "\n[Old]\n" + all_plain),
         dos(kBase + "\n[Old]\n" + all_plain), {}},
        {"every line added by an earlier Install", 2, dos(kMerged2), dos(kMerged2), dos(kBase)},
        {"kind 2 over a kind 1 Install adds only the IRQ-router lines", 2, dos(kMerged1), dos(kMerged2), dos(kBase)},
        {"kind 1 leaves typed IRQ-router lines alone", 1, dos(irq_typed), dos(irq_typed_merged), {}},
        {"kind 2 finds the typed IRQ-router lines present", 2, dos(irq_typed), dos(irq_typed_merged), {}},
        {"7110 model line with text after it: the six others only", 1,
         dos(kHead + kSys + k7110Model + " ; by hand\n" + kSysPci + kAdd + kAddPci + kAddIrq + kFlags + kFlagsEx +
             kStr + kStrPci),
         dos(kHead + kSys + marked("sys_device_lines", {2, 3, 4, 5, 6, 7}) + k7110Model + " ; by hand\n" + kSysPci + kAdd +
             PCI + kAddPci + kAddIrq + kFlags + EXC + kFlagsEx + kStr + STR + kStrPci),
         {}},
        {"7110 model line exactly as the template less the marker", 1,
         dos(kHead + kSys + k7110Model + "\n" + kSysPci + kAdd + kAddPci + kAddIrq + kFlags + kFlagsEx + kStr +
             kStrPci),
         dos(kHead + kSys + marked("sys_device_lines", {2, 3, 4, 5, 6, 7}) + k7110Model + "\n" + kSysPci + kAdd + PCI +
             kAddPci + kAddIrq + kFlags + EXC + kFlagsEx + kStr + STR + kStrPci),
         {}},
        {"7110 model line naming NO_DRV is another line: all seven added", 1,
         dos(kHead + kSys + "%PCI\\VEN_8086&DEV_7110.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7110\n" + kSysPci + kAdd +
             kAddPci + kAddIrq + kFlags + kFlagsEx + kStr + kStrPci),
         dos(kHead + kSys + SYS + "%PCI\\VEN_8086&DEV_7110.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7110\n" + kSysPci +
             kAdd + PCI + kAddPci + kAddIrq + kFlags + EXC + kFlagsEx + kStr + STR + kStrPci),
         {}},
        {"present in lower case, or with the marker", 1,
         dos(kHead + kSys + kSysPci + kAdd + kAddPci + kAddIrq + kFlags +
             "ExcludeFromSelect=PCI\\VEN_8086&DEV_122E\nExcludeFromSelect=PCI\\VEN_8086&DEV_7100;Tamrix\n\n" + kStr +
             kStrPci + k5597Lower),
         dos(kHead + kSys + SYS + kSysPci + kAdd + PCI + kAddPci + kAddIrq + kFlags +
             marked("exclude_lines", {1, 2, 3, 4, 6, 7}) +
             "ExcludeFromSelect=PCI\\VEN_8086&DEV_122E\nExcludeFromSelect=PCI\\VEN_8086&DEV_7100;Tamrix\n\n" + kStr +
             marked("chipset_string_lines", {1, 2, 3, 4, 5, 6}) + kStrPci +
             k5597Lower),
         dos(kHead + kSys + kSysPci + kAdd + kAddPci + kAddIrq + kFlags + "ExcludeFromSelect=PCI\\VEN_8086&DEV_122E\n\n" +
             kStr + kStrPci + k5597Lower)},
    };
    for (const merge_case& c : cases) check(c);
}

TEST_F(chipset_merge_test, missing_or_reordered_sections_get_no_group) {
    const merge_case cases[] = {
        {"kind 2 without any IRQMiniports line", 2,
         dos(kHead + kSys + kSysPci + kAdd + kAddPci + "\n" + kFlags + kFlagsEx + kStr + kStrPci),
         dos(kHead + kSys + SYS + kSysPci + kAdd + PCI + kAddPci + "\n" + kFlags + EXC + kFlagsEx + kStr + STR +
             kStrPci),
         {}},
        {"kind 2, the IRQMiniports line before the PCI value line is behind the search", 2,
         dos(kHead + kSys + kSysPci + kAdd + kIrqLine + kAddPci + "\n" + kFlags + kFlagsEx + kStr + kStrPci),
         dos(kHead + kSys + SYS + kSysPci + kAdd + kIrqLine + PCI + kAddPci + "\n" + kFlags + EXC + kFlagsEx + kStr +
             STR + kStrPci),
         {}},
        {"kind 2 without [PCI_DRV_AddReg]: the IRQ-router search starts after the models", 2,
         dos(kHead + kSys + kSysPci + "[Other_AddReg]\n" + kAddPci + kAddIrq + kFlags + kFlagsEx + kStr + kStrPci),
         dos(kHead + kSys + SYS + kSysPci + "[Other_AddReg]\n" + kAddPci + IRQ + kAddIrq + kFlags + EXC + kFlagsEx +
             kStr + STR + kStrPci),
         {}},
        {"no [MS_SYS]", 1, dos(kHead + kAdd + kAddPci + kAddIrq + kFlags + kFlagsEx + kStr + kStrPci),
         dos(kHead + kAdd + PCI + kAddPci + kAddIrq + kFlags + EXC + kFlagsEx + kStr + STR + kStrPci), {}},
        {"[MS_SYS] with no PCI model line after it", 1,
         dos(kHead + kSys + "\n" + kAdd + kAddPci + kAddIrq + kFlags + kFlagsEx + kStr + kStrPci),
         dos(kHead + kSys + "\n" + kAdd + PCI + kAddPci + kAddIrq + kFlags + EXC + kFlagsEx + kStr + STR + kStrPci),
         {}},
        {"[MS_SYS] without PCI lines: the models go before the next PCI model line", 1,
         dos(kHead + kSys + "\n[MS_PCI]\n" + kSysPci + kAdd + kAddPci + kAddIrq + kFlags + kFlagsEx + kStr + kStrPci),
         dos(kHead + kSys + "\n[MS_PCI]\n" + SYS + kSysPci + kAdd + PCI + kAddPci + kAddIrq + kFlags + EXC +
             kFlagsEx + kStr + STR + kStrPci),
         {}},
        {"no [PCI_DRV_AddReg] and no other PCI value line", 1,
         dos(kHead + kSys + kSysPci + kFlags + kFlagsEx + kStr + kStrPci),
         dos(kHead + kSys + SYS + kSysPci + kFlags + EXC + kFlagsEx + kStr + STR + kStrPci), {}},
        {"no [ControlFlags]: [Strings] still found", 1,
         dos(kHead + kSys + kSysPci + kAdd + kAddPci + kAddIrq + kStr + kStrPci),
         dos(kHead + kSys + SYS + kSysPci + kAdd + PCI + kAddPci + kAddIrq + kStr + STR + kStrPci), {}},
        {"no [Strings]", 2, dos(kBaseToFlags),
         dos(kHead + kSys + SYS + kSysPci + kAdd + PCI + kAddPci + IRQ + kAddIrq + kFlags + EXC + kFlagsEx), {}},
        {"[Strings] with no entry after it", 1, dos(kBaseToFlags + kStr), dos(kMergedToFlags + kStr), {}},
        {"[Strings] first: no string lines", 1,
         dos(kHead + kStr + kStrPci + "\n" + kSys + kSysPci + kAdd + kAddPci + kAddIrq + kFlags + kFlagsEx),
         dos(kHead + kStr + kStrPci + "\n" + kSys + SYS + kSysPci + kAdd + PCI + kAddPci + kAddIrq + kFlags + EXC +
             kFlagsEx),
         {}},
        {"[ControlFlags] before [PCI_DRV_AddReg]: no exclusion lines", 2,
         dos(kHead + kSys + kSysPci + kFlags + kFlagsEx + kAdd + kAddPci + kAddIrq + kStr + kStrPci),
         dos(kHead + kSys + SYS + kSysPci + kFlags + kFlagsEx + kAdd + PCI + kAddPci + IRQ + kAddIrq + kStr + STR +
             kStrPci),
         {}},
    };
    for (const merge_case& c : cases) check(c);
}

TEST_F(chipset_merge_test, odd_bytes_and_line_ends) {
    const std::string odd_strings = "[Strings]\r\r\nStd=\"Standard\rsystem devices\"\r\n";
    const merge_case cases[] = {
        {"Ctrl-Z in the middle ends the file", 1, dos(kHead + kSys + kSysPci + kAdd + kAddPci + kAddIrq) + "\x1a" +
                                                      dos(kFlags + kFlagsEx + kStr + kStrPci),
         dos(kHead + kSys + SYS + kSysPci + kAdd + PCI + kAddPci + kAddIrq),
         dos(kHead + kSys + kSysPci + kAdd + kAddPci + kAddIrq)},
        {"Ctrl-Z at the end", 1, dos(kBase) + "\x1a", dos(kMerged1), dos(kBase)},
        {"no final line end", 1, dos(kBase.substr(0, kBase.size() - 1)),
         dos(kMerged1.substr(0, kMerged1.size() - 1)), {}},
        {"unterminated [Strings] as the last line", 1, dos(kBaseToFlags) + "[Strings]",
         dos(kMergedToFlags) + "[Strings]", {}},
        {"lone CRs: in a value, and after the [Strings] header", 1, dos(kBaseToFlags) + odd_strings + dos(kStrPci),
         dos(kMergedToFlags) + odd_strings + dos(STR + kStrPci), {}},
        {"NUL bytes: after the header, in a value, after a present line", 1,
         dos(kBaseToFlags + "[Strings]\0 names\nStd=\"Standard\0devices\"\n"s + kStrPci + k5597String + "\0 old\n"s),
         dos(kMergedToFlags + "[Strings]\0 names\nStd=\"Standard\0devices\"\n"s +
             marked("chipset_string_lines", {1, 2, 3, 4, 5, 6}) + kStrPci + k5597String + "\0 old\n"s),
         {}},
    };
    for (const merge_case& c : cases) check(c);
}

TEST_F(chipset_merge_test, long_lines) {
    const std::string long_first_model =
        padded("%PCI\\VEN_8086&DEV_7000.DeviceDesc%=ISA_DRV,PCI\\VEN_8086&DEV_7000 ;", 300, '-');
    const std::string tail = kAdd + kAddPci + kAddIrq + kFlags + kFlagsEx;
    const std::string merged_tail = kAdd + PCI + kAddPci + kAddIrq + kFlags + EXC + kFlagsEx;
    const std::string strings_254 = blanks(244) + "[Strings]\n";
    const std::string strings_255 = blanks(245) + "[Strings]\n";
    const std::string strings_300 = blanks(290) + "[Strings]\n";
    const std::string std_line = "Std=\"Standard system devices\"\n";
    const merge_case cases[] = {
        {"comment of 300 before the models", 1,
         dos(kHead + kSys + padded("; ", 300, '-') + kSysPci + tail + kStr + kStrPci),
         dos(kHead + kSys + padded("; ", 300, '-') + SYS + kSysPci + merged_tail + kStr + STR + kStrPci), {}},
        {"first model line of 300: the models go in front of it", 1,
         dos(kHead + kSys + long_first_model + kSysPci + tail + kStr + kStrPci),
         dos(kHead + kSys + SYS + long_first_model + kSysPci + merged_tail + kStr + STR + kStrPci), {}},
        {"second pieces that hold an entry or a template line are neither", 1,
         dos(kHead + kSys + second_piece(k7110Model) + kSysPci + tail + kStr + second_piece(k7110String) + kStrPci),
         dos(kHead + kSys + second_piece(k7110Model) + SYS + kSysPci + merged_tail + kStr +
             second_piece(k7110String) + STR + kStrPci),
         {}},
        {"[Strings] after blanks, 254 characters", 1, dos(kHead + kSys + kSysPci + tail + strings_254 + std_line + kStrPci),
         dos(kHead + kSys + SYS + kSysPci + merged_tail + strings_254 + std_line + STR + kStrPci), {}},
        {"[Strings] after blanks, 255 characters", 1, dos(kHead + kSys + kSysPci + tail + strings_255 + std_line + kStrPci),
         dos(kHead + kSys + SYS + kSysPci + merged_tail + strings_255 + std_line + STR + kStrPci), {}},
        {"[Strings] after blanks, 300 characters: not a header", 1,
         dos(kHead + kSys + kSysPci + tail + strings_300 + std_line + kStrPci),
         dos(kHead + kSys + SYS + kSysPci + merged_tail + strings_300 + std_line + kStrPci), {}},
        {"present lines of 254 and 300 with text after them", 1,
         dos(kHead + kSys + kSysPci + tail + kStr + kStrPci + padded(k5597String + " ;", 254, '-') +
             padded(k5571String + " ;", 300, '-')),
         dos(kHead + kSys + SYS + kSysPci + merged_tail + kStr + marked("chipset_string_lines", {1, 2, 3, 4, 5}) + kStrPci +
             padded(k5597String + " ;", 254, '-') + padded(k5571String + " ;", 300, '-')),
         {}},
        {"a line pushed past the first piece by blanks is not present", 1,
         dos(kHead + kSys + kSysPci + tail + kStr + kStrPci + blanks(200) + k7110String + "\n"),
         dos(kHead + kSys + SYS + kSysPci + merged_tail + kStr + STR + kStrPci + blanks(200) + k7110String + "\n"), {}},
    };
    for (const merge_case& c : cases) check(c);
}

// ---- several commands in one process -----------------------------------------------

TEST_F(chipset_merge_test, install_after_uninstall_adds_every_line_again) {
    put(chipset_file, dos(kBase));
    EXPECT_BYTES(dos(kMerged2), install(2));
    EXPECT_BYTES(dos(kBase), uninstall());
    EXPECT_BYTES(dos(kMerged2), install(2));
}

TEST_F(chipset_merge_test, install_install_uninstall_install_ends_with_every_line) {
    put(chipset_file, dos(kBase));
    EXPECT_BYTES(dos(kMerged1), install(1));
    EXPECT_BYTES(dos(kMerged1), install(1));
    EXPECT_BYTES(dos(kBase), uninstall());
    EXPECT_BYTES(dos(kMerged1), install(1));
    // A later run on kind 2 in the same process still has its IRQ-router lines.
    EXPECT_BYTES(dos(kMerged2), install(2));
}

TEST_F(chipset_merge_test, uninstall_keeps_a_marked_line_without_line_end) {
    put(chipset_file, dos(kMerged1.substr(0, kMerged1.size() - kStrPci.size())) + "Last;Tamrix");
    EXPECT_BYTES(dos(kBase.substr(0, kBase.size() - kStrPci.size())) + "Last;Tamrix", uninstall());
}

}  // namespace
