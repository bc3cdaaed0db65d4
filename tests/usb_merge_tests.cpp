// Install and Uninstall of usb.inf, byte for byte: each group after its
// section header, or, header first, at the next section boundary when the
// section is missing; and the new usb.inf written when there is none.  Every
// case is merged, merged once more (which must add nothing) and stripped.
#include "inf_fixtures.h"

namespace {

using namespace fx;
using namespace std::string_literals;

// A small usb.inf, section by section.  Its own lines name other devices, so
// none of them counts as present.
const std::string kHead = "; USB.INF for the tests\n";
const std::string kVer = "[Version]\n";
const std::string kVerBody = "Signature=\"$CHICAGO$\"\nClass=USB\nProvider=%Vendor%\n\n";
const std::string kVerNoClass = "Signature=\"$CHICAGO$\"\nProvider=%Vendor%\n\n";
const std::string kMfg = "[Manufacturer]\n";
const std::string kMfgBody = "%Vendor.Mfg%=Vendor.Section\n\n";
const std::string kVend = "[Vendor.Section]\n%USB\\ROOT_HUB.DeviceDesc%=ROOTHUB.Dev,USB\\ROOT_HUB\n\n";
const std::string kInt = "[Intel.Section]\n";
const std::string kIntBody = "%PCI\\VEN_8086&DEV_7F00.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7F00\n\n";
const std::string kInt2Body = "%PCI\\VEN_8086&DEV_7F02.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7F02\n\n";
const std::string kSis = "[SIS.Section]\n";
const std::string kSisBody = "%PCI\\VEN_1039&DEV_7F01.DeviceDesc%=NO_DRV,PCI\\VEN_1039&DEV_7F01\n\n";
const std::string kStr = "[Strings]\n";
const std::string kStrBody =
    "Vendor=\"System vendor\"\nVendor.Mfg=\"System vendor\"\nUSB\\ROOT_HUB.DeviceDesc=\"USB Root Hub\"\n";

// The groups as Tamrix writes them, whole or in part.
const std::string UV = marked("usb_version_lines");
const std::string UV2 = marked("usb_version_lines", {2});
const std::string UM = marked("usb_manufacturer_lines");
const std::string UM23 = marked("usb_manufacturer_lines", {2, 3});
const std::string UI = marked("usb_model_lines");
const std::string UI23 = marked("usb_model_lines", {2, 3});
const std::string UI45 = marked("usb_model_lines", {4, 5});
const std::string UI235 = marked("usb_model_lines", {2, 3, 5});
const std::string UI1235 = marked("usb_model_lines", {1, 2, 3, 5});
const std::string US = marked("usb_string_lines");
const std::string US26 = marked("usb_string_lines", {2, 3, 4, 5, 6});
const std::string kNewFile = UV + UM + UI + US;
// Template lines typed in lower case.
const std::string kIntelMfgLower = lower(group_lines("usb_manufacturer_lines")[1]) + "\n\n";
const std::string kSisMfgLower = lower(group_lines("usb_string_lines")[4]) + "\n";

// The usual file: no [Intel.Section], and Class=USB already in [Version].
const std::string kUsual = kHead + kVer + kVerBody + kMfg + kMfgBody + kVend + kStr + kStrBody;
const std::string kUsualMerged = kHead + kVer + kVerBody + kMfg + UM23 + kMfgBody + UI + kVend + kStr + US26 + kStrBody;
// All four sections, but neither Class=USB nor [SIS.Section].
const std::string kFull = kHead + kVer + kVerNoClass + kMfg + kMfgBody + kInt + kIntBody + kVend + kStr + kStrBody;
const std::string kFullMerged = kHead + kVer + UV2 + kVerNoClass + kMfg + UM23 + kMfgBody + kInt + UI23 + kIntBody +
                                UI45 + kVend + kStr + US26 + kStrBody;

struct merge_case {
    const char* what;
    std::string input;                    // usb.inf on disk
    std::string expected;                 // after Install
    std::optional<std::string> restored;  // after a following Uninstall; none: the input
};

class usb_merge_test : public inf_test {
protected:
    std::string install() { return run(usb_file, merge_usb_inf); }
    std::string uninstall() { return run(usb_file, uninstall_inf); }

    void check(const merge_case& c) {
        SCOPED_TRACE(c.what);
        put(usb_file, c.input);
        EXPECT_BYTES(c.expected, install());
        EXPECT_BYTES(c.expected, install());
        EXPECT_BYTES(c.restored ? *c.restored : c.input, uninstall());
    }
};

TEST_F(usb_merge_test, groups_follow_their_headers_or_open_the_missing_section) {
    const merge_case cases[] = {
        {"the usual file: Class=USB present, no [Intel.Section]", dos(kUsual), dos(kUsualMerged), {}},
        {"all four sections", dos(kFull), dos(kFullMerged), {}},
        {"LF-only input", kFull, dos(kFullMerged), dos(kFull)},
        {"mixed line ends", dos(kHead + kVer) + kVerNoClass + dos(kMfg + kMfgBody) + kInt + kIntBody + dos(kVend + kStr) + kStrBody,
         dos(kFullMerged), dos(kFull)},
        {"no [Version]: its group before the first section", dos(kHead + kMfg + kMfgBody + kInt + kIntBody + kVend + kStr + kStrBody),
         dos(kHead + UV + kMfg + UM23 + kMfgBody + kInt + UI23 + kIntBody + UI45 + kVend + kStr + US26 + kStrBody), {}},
        {"no [Version] in a file that starts with a header", dos(kMfg + kMfgBody + kInt + kIntBody + kVend + kStr + kStrBody),
         dos(UV + kMfg + UM23 + kMfgBody + kInt + UI23 + kIntBody + UI45 + kVend + kStr + US26 + kStrBody), {}},
        {"no [Manufacturer]: its group after the rest of [Version]",
         dos(kHead + kVer + kVerNoClass + kInt + kIntBody + kVend + kStr + kStrBody),
         dos(kHead + kVer + UV2 + kVerNoClass + UM + kInt + UI23 + kIntBody + UI45 + kVend + kStr + US26 + kStrBody), {}},
        {"no [Strings]: its group at the next section boundary",
         dos(kHead + kVer + kVerNoClass + kMfg + kMfgBody + kInt + kIntBody + kVend),
         dos(kHead + kVer + UV2 + kVerNoClass + kMfg + UM23 + kMfgBody + kInt + UI23 + kIntBody + UI45 + US + kVend), {}},
        {"no [Strings] and no header after [Intel.Section]: its group at the end",
         dos(kHead + kVer + kVerNoClass + kMfg + kMfgBody + kVend + kInt + kIntBody),
         dos(kHead + kVer + UV2 + kVerNoClass + kMfg + UM23 + kMfgBody + kVend + kInt + UI23 + kIntBody + UI45 + US), {}},
        {"none of the four: comments only", dos("; USB.INF\n; nothing else\n"), dos("; USB.INF\n; nothing else\n" + kNewFile),
         {}},
        {"none of the four: comments without a final line end", "; USB.INF", dos("; USB.INF\n" + kNewFile),
         dos("; USB.INF\n")},
        {"empty file", "", dos(kNewFile), {}},
        {"[SIS.Section] present: the SiS line under the Intel section",
         dos(kHead + kVer + kVerBody + kMfg + kMfgBody + kInt + kIntBody + kSis + kSisBody + kStr + kStrBody),
         dos(kHead + kVer + kVerBody + kMfg + UM23 + kMfgBody + kInt + UI235 + kIntBody + kSis + kSisBody + kStr + US26 +
             kStrBody),
         {}},
        {"[SIS.Section] present without [Intel.Section]",
         dos(kHead + kVer + kVerBody + kMfg + kMfgBody + kSis + kSisBody + kStr + kStrBody),
         dos(kHead + kVer + kVerBody + kMfg + UM23 + kMfgBody + UI1235 + kSis + kSisBody + kStr + US26 + kStrBody), {}},
        {"headers in lower case",
         dos(kHead + "[version]\n" + kVerBody + "[manufacturer]\n" + kMfgBody + "[intel.section]\n" + kIntBody +
             "[sis.section]\n" + kSisBody + "[strings]\n" + kStrBody),
         dos(kHead + "[version]\n" + kVerBody + "[manufacturer]\n" + UM23 + kMfgBody + "[intel.section]\n" + UI235 +
             kIntBody + "[sis.section]\n" + kSisBody + "[strings]\n" + US26 + kStrBody),
         {}},
        {"headers in mixed case, after blanks, with comments",
         dos("  [VERSION]\n" + kVerNoClass + "\t[MaNuFaCtUrEr]\n" + kMfgBody + " [INTEL.SECTION]\n" + kIntBody + kVend +
             " \t[STRINGS] ; names\n" + kStrBody),
         dos("  [VERSION]\n" + UV2 + kVerNoClass + "\t[MaNuFaCtUrEr]\n" + UM23 + kMfgBody + " [INTEL.SECTION]\n" + UI23 +
             kIntBody + UI45 + kVend + " \t[STRINGS] ; names\n" + US26 + kStrBody),
         {}},
        {"[Manufacturer] before [Version]: its lines at the end of [Version]",
         dos(kHead + kMfg + kMfgBody + kVer + kVerNoClass + kInt + kIntBody + kStr + kStrBody),
         dos(kHead + kMfg + kMfgBody + kVer + UV2 + kVerNoClass + UM23 + kInt + UI23 + kIntBody + UI45 + kStr + US26 +
             kStrBody),
         {}},
        {"[Strings] before [Manufacturer]: its lines at the end of the file",
         dos(kHead + kVer + kVerBody + kStr + kStrBody + "\n" + kMfg + kMfgBody + kInt + kIntBody),
         dos(kHead + kVer + kVerBody + kStr + kStrBody + "\n" + kMfg + UM23 + kMfgBody + kInt + UI23 + kIntBody + UI45 +
             US26),
         {}},
        {"[Strings] twice: the lines after the first",
         dos(kHead + kVer + kVerBody + kMfg + kMfgBody + kStr + kStrBody + "\n" + kVend + kStr + "Extra=\"x\"\n"),
         dos(kHead + kVer + kVerBody + kMfg + UM23 + kMfgBody + UI + kStr + US26 + kStrBody + "\n" + kVend + kStr +
             "Extra=\"x\"\n"),
         {}},
        {"[Intel.Section] twice: [SIS.Section] before the second",
         dos(kHead + kVer + kVerBody + kMfg + kMfgBody + kInt + kIntBody + kInt + kInt2Body + kStr + kStrBody),
         dos(kHead + kVer + kVerBody + kMfg + UM23 + kMfgBody + kInt + UI23 + kIntBody + UI45 + kInt + kInt2Body + kStr +
             US26 + kStrBody),
         {}},
        {"[Strings.0409] is not [Strings]",
         dos(kHead + kVer + kVerBody + kMfg + kMfgBody + kVend + "[Strings.0409]\n" + kStrBody),
         dos(kHead + kVer + kVerBody + kMfg + UM23 + kMfgBody + UI + US + kVend + "[Strings.0409]\n" + kStrBody), {}},
    };
    for (const merge_case& c : cases) check(c);
}

TEST_F(usb_merge_test, lines_already_present_are_not_added_again) {
    const std::string typed = kHead + kVer + kVerBody + kMfg + plain("usb_manufacturer_lines", {2, 3}) + kMfgBody + kInt +
                              plain("usb_model_lines", {2, 3}) + "\n" + kSis + plain("usb_model_lines", {5}) + "\n" + kVend + kStr +
                              plain("usb_string_lines", {2, 3, 4, 5, 6}) + kStrBody;
    const merge_case cases[] = {
        {"every line typed in its section", dos(typed), dos(typed), {}},
        {"every line added by an earlier Install", dos(kFullMerged), dos(kFullMerged), dos(kFull)},
        {"the 16 lines of a new usb.inf", dos(kNewFile), dos(kNewFile), ""},
        {"some lines typed in other sections and in other case",
         dos(kHead + kVer + kVerBody + kIntelMfgLower + kMfg + kMfgBody + kVend + kStr + kStrBody +
             kSisMfgLower),
         dos(kHead + kVer + kVerBody + kIntelMfgLower + kMfg + marked("usb_manufacturer_lines", {3}) + kMfgBody +
             UI + kVend + kStr + marked("usb_string_lines", {2, 3, 4, 6}) + kStrBody + kSisMfgLower),
         {}},
    };
    for (const merge_case& c : cases) check(c);
}

TEST_F(usb_merge_test, odd_bytes_and_long_lines) {
    const std::string to_vendor = kHead + kVer + kVerBody + kMfg + kMfgBody + kVend;
    const std::string to_vendor_merged = kHead + kVer + kVerBody + kMfg + UM23 + kMfgBody + UI + kVend;
    const std::string version_255 = padded("[Version] ;", 255, '-');
    const std::string strings_300 = padded("[Strings] ; ", 300, '=');
    const std::string hidden_header = "; " + std::string(252, '-') + "[Manufacturer]\n";
    const merge_case cases[] = {
        {"[Strings] as an unterminated last line: the group starts a new line", dos(to_vendor) + "[Strings]",
         dos(to_vendor_merged + "[Strings]\n" + US26), dos(to_vendor + "[Strings]\n")},
        {"[Intel.Section] as an unterminated last line", dos(kHead + kVer + kVerBody + kMfg + kMfgBody) + "[Intel.Section]",
         dos(kHead + kVer + kVerBody + kMfg + UM23 + kMfgBody + "[Intel.Section]\n" + UI23 + UI45 + US),
         dos(kHead + kVer + kVerBody + kMfg + kMfgBody + "[Intel.Section]\n")},
        {"Ctrl-Z in the middle hides the rest", dos(kHead + kVer + kVerBody + kMfg + kMfgBody) + "\x1a" + dos(kInt + kStr),
         dos(kHead + kVer + kVerBody + kMfg + UM23 + kMfgBody + UI + US), dos(kHead + kVer + kVerBody + kMfg + kMfgBody)},
        {"Ctrl-Z at the end", dos(kUsual) + "\x1a", dos(kUsualMerged), dos(kUsual)},
        {"lone CRs: after the [Strings] header and in a value", dos(to_vendor) + "[Strings]\r\r\nVendor=\"A\rB\"\r\n",
         dos(to_vendor_merged) + "[Strings]\r\r\n" + dos(US26) + "Vendor=\"A\rB\"\r\n", {}},
        {"NUL bytes: after a header, after a present line, in a value",
         dos(kHead + kVer + "Signature=\"$CHICAGO$\"\nClass=USB\0;x\n\n"s + kMfg + kMfgBody + kVend + "[Strings]\0\n"s +
             "Vendor=\"System\0vendor\"\n"s),
         dos(kHead + kVer + "Signature=\"$CHICAGO$\"\nClass=USB\0;x\n\n"s + kMfg + UM23 + kMfgBody + UI + kVend +
             "[Strings]\0\n"s + US26 + "Vendor=\"System\0vendor\"\n"s),
         {}},
        {"[Version] header of 255: the group after its line end",
         dos(kHead + version_255 + kVerNoClass + kMfg + kMfgBody + kInt + kIntBody + kVend + kStr + kStrBody),
         dos(kHead + version_255 + UV2 + kVerNoClass + kMfg + UM23 + kMfgBody + kInt + UI23 + kIntBody + UI45 + kVend + kStr +
             US26 + kStrBody),
         {}},
        {"[Strings] header of 300: the group after the whole line",
         dos(kHead + kVer + kVerBody + kMfg + kMfgBody + kVend + strings_300 + kStrBody),
         dos(kHead + kVer + kVerBody + kMfg + UM23 + kMfgBody + UI + kVend + strings_300 + US26 + kStrBody), {}},
        {"a second piece that begins like a header is not one",
         dos(kHead + kVer + "Signature=\"$CHICAGO$\"\n" + hidden_header + "\n" + kInt + kIntBody + kVend + kStr + kStrBody),
         dos(kHead + kVer + UV2 + "Signature=\"$CHICAGO$\"\n" + hidden_header + "\n" + UM + kInt + UI23 + kIntBody + UI45 +
             kVend + kStr + US26 + kStrBody),
         {}},
    };
    for (const merge_case& c : cases) check(c);
}

// ---- several commands in one process, and the new file ------------------------------------

TEST_F(usb_merge_test, install_install_uninstall_install_ends_with_every_line) {
    put(usb_file, dos(kFull));
    EXPECT_BYTES(dos(kFullMerged), install());
    EXPECT_BYTES(dos(kFullMerged), install());
    EXPECT_BYTES(dos(kFull), uninstall());
    EXPECT_BYTES(dos(kFullMerged), install());
}

TEST_F(usb_merge_test, install_after_uninstall_adds_every_line_again) {
    put(usb_file, dos(kNewFile));
    EXPECT_BYTES("", uninstall());
    EXPECT_BYTES(dos(kNewFile), install());
    put(usb_file, dos(kUsual));
    EXPECT_BYTES(dos(kUsualMerged), install());
}

TEST_F(usb_merge_test, new_file_holds_the_sixteen_lines) {
    create_usb_inf(target_path(usb_file));
    EXPECT_BYTES(dos(kNewFile), get(usb_file));
    EXPECT_BYTES("", uninstall());
    EXPECT_TRUE(scripted::file_exists(path(usb_file)));
}

TEST_F(usb_merge_test, new_file_holds_the_sixteen_lines_whatever_ran_before) {
    // This merge finds every template line present and disables them all.
    put(usb_file, dos(kNewFile));
    EXPECT_BYTES(dos(kNewFile), install());
    std::remove(path(usb_file).c_str());
    create_usb_inf(target_path(usb_file));
    EXPECT_BYTES(dos(kNewFile), get(usb_file));
}

TEST_F(usb_merge_test, a_usb_inf_that_appeared_meanwhile_is_never_written_over) {
    put(usb_file, "mine\r\n");
    EXPECT_FALSE(create_usb_inf(target_path(usb_file)));
    EXPECT_BYTES("mine\r\n", get(usb_file));
    expect_boxes({file_box("Can't create usb.inf: a file of that name is there already, and was "
                           "left as it was: ", "usb.inf", "File Open Error")});
}

}  // namespace
