// Fixtures shared by the replacement and run tests: the INF texts before and
// after each edit, written out by hand, and helpers that lay out an inf
// folder, read it back whole, run a command that may end the process, and
// compare the message boxes shown.
#ifndef TAMRIX_TESTS_RUN_FIXTURES_H
#define TAMRIX_TESTS_RUN_FIXTURES_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "../engine/inf_engine.h"
#include "../inf/inf_templates.h"
#include "../ops/inf_replace.h"
#include "../ops/inf_runs.h"
#include "scripted_platform.h"

namespace fixtures {

// ---- texts --------------------------------------------------------------------
// Written as LF lines after a leading LF; on disk every LF is CR LF.
inline std::string disk(const char* lf_text) {
    std::string out;
    for (const char* p = lf_text + (*lf_text == '\n' ? 1 : 0); *p; ++p) {
        if (*p == '\n') out += '\r';
        out += *p;
    }
    return out;
}

// machine.inf as a system has it: one line of every kind the chipset merge
// looks for, and an IRQ router value of another chipset.
inline const std::string kMachineHead = disk(R"inf(
[Version]
Signature=$CHICAGO$
Class=System
[Manufacturer]
%Std%=MS_SYS
[MS_SYS]
%*PNP0000.DeviceDesc%=PIC_DRV,*PNP0000
)inf");
inline const std::string kMachineModel = disk(R"inf(
%PCI\VEN_8086&DEV_1234.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_1234
[PCI_DRV_AddReg]
HKR,,DevLoader,,*CONFIGMG
)inf");
inline const std::string kMachinePciValue = disk(R"inf(
HKLM,System\CurrentControlSet\Services\VxD\PCI,12348086,1,00,00,00,00
)inf");
inline const std::string kMachineIrqValue = disk(R"inf(
HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\12348086,Name,,"Other"
[ControlFlags]
ExcludeFromSelect=*PNP0000
)inf");
inline const std::string kMachineExclude = disk(R"inf(
ExcludeFromSelect=PCI\VEN_8086&DEV_1234
[Strings]
Std="(Standard system devices)"
)inf");
inline const std::string kMachineString = disk(R"inf(
PCI\VEN_8086&DEV_1234.DeviceDesc="Some bridge"
)inf");

// The lines the chipset merge adds, each group as the tables give it.
inline const std::string kSysLines = disk(R"inf(
%PCI\VEN_8086&DEV_7110.DeviceDesc%=ISA_DRV,PCI\VEN_8086&DEV_7110;Tamrix
%PCI\VEN_8086&DEV_7113.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7113;Tamrix
%PCI\VEN_8086&DEV_7100.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7100;Tamrix
%PCI\VEN_8086&DEV_7180.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7180;Tamrix
%PCI\VEN_8086&DEV_7181.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7181;Tamrix
%PCI\VEN_1039&DEV_5571.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_5571;Tamrix
%PCI\VEN_1039&DEV_5597.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_5597;Tamrix
)inf");
inline const std::string kPciLine = disk(R"inf(
HKLM,System\CurrentControlSet\Services\VxD\PCI,71108086,1,00,00,08,00;Tamrix
)inf");
inline const std::string kIrqLines = disk(R"inf(
HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Name,,"Intel 82371AB";Tamrix
HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Path,,"PCIMP.PCI";Tamrix
HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Instance,1,01,00,00,00;Tamrix
)inf");
inline const std::string kExcludeLines = disk(R"inf(
ExcludeFromSelect=PCI\VEN_8086&DEV_7110;Tamrix
ExcludeFromSelect=PCI\VEN_8086&DEV_7113;Tamrix
ExcludeFromSelect=PCI\VEN_8086&DEV_7180;Tamrix
ExcludeFromSelect=PCI\VEN_8086&DEV_7181;Tamrix
ExcludeFromSelect=PCI\VEN_8086&DEV_7100;Tamrix
ExcludeFromSelect=PCI\VEN_1039&DEV_5571;Tamrix
ExcludeFromSelect=PCI\VEN_1039&DEV_5597;Tamrix
)inf");
inline const std::string kChipsetStrings = disk(R"inf(
PCI\VEN_8086&DEV_7110.DeviceDesc="Intel 82371AB PCI to ISA bridge";Tamrix
PCI\VEN_8086&DEV_7113.DeviceDesc="Intel 82371AB Power Management controller";Tamrix
PCI\VEN_8086&DEV_7100.DeviceDesc="Intel 82439TX Pentium(r) Process to PCI bridge";Tamrix
PCI\VEN_8086&DEV_7180.DeviceDesc="Intel 82443LX Pentium(r) Process to PCI bridge";Tamrix
PCI\VEN_8086&DEV_7181.DeviceDesc="Intel 82443LX Pentium(r) Process to AGP bridge";Tamrix
PCI\VEN_1039&DEV_5571.DeviceDesc="SIS 5571 Host-to-PCI bridge";Tamrix
PCI\VEN_1039&DEV_5597.DeviceDesc="SIS 5582 Host-to-PCI bridge";Tamrix
)inf");

// machine.inf before Install, and after it on platform kinds 1 and 2: each
// group directly in front of the first entry line of its kind.
inline const std::string kMachineOld = kMachineHead + kMachineModel + kMachinePciValue +
                                       kMachineIrqValue + kMachineExclude + kMachineString;
inline const std::string kMachineNew = kMachineHead + kSysLines + kMachineModel + kPciLine +
                                       kMachinePciValue + kMachineIrqValue + kExcludeLines +
                                       kMachineExclude + kChipsetStrings + kMachineString;
inline const std::string kMachineNewKind2 =
    kMachineHead + kSysLines + kMachineModel + kPciLine + kMachinePciValue + kIrqLines +
    kMachineIrqValue + kExcludeLines + kMachineExclude + kChipsetStrings + kMachineString;

// usb.inf with all four sections the merge looks for, [SIS.Section] among
// them: every group lands after its own header.
inline const std::string kUsbOld = disk(R"inf(
[Version]
Signature="$CHICAGO$"
Class=USB
[Manufacturer]
%MS%=Microsoft
[Intel.Section]
%USB\ROOT_HUB.DeviceDesc%=ROOTHUB.Dev,USB\ROOT_HUB
[SIS.Section]
%USB\COMPOSITE.DeviceDesc%=COMPOSITE.Dev,USB\COMPOSITE
[Strings]
MS="Microsoft"
)inf");
inline const std::string kUsbNew = disk(R"inf(
[Version]
Signature="$CHICAGO$"
Class=USB
[Manufacturer]
%Intel.Mfg%=Intel.Section;Tamrix
%SIS.Mfg%=SIS.Section;Tamrix
%MS%=Microsoft
[Intel.Section]
%PCI\VEN_8086&DEV_7020.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7020;Tamrix
%PCI\VEN_8086&DEV_7112.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7112;Tamrix
%PCI\VEN_1039&DEV_7001.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_7001;Tamrix
%USB\ROOT_HUB.DeviceDesc%=ROOTHUB.Dev,USB\ROOT_HUB
[SIS.Section]
%USB\COMPOSITE.DeviceDesc%=COMPOSITE.Dev,USB\COMPOSITE
[Strings]
Intel.Mfg=Intel;Tamrix
PCI\VEN_8086&DEV_7020.DeviceDesc="Intel 82371SB PCI to USB Universal Host Controller";Tamrix
PCI\VEN_8086&DEV_7112.DeviceDesc="Intel 82371AB PCI to USB Universal Host Controller";Tamrix
SIS.Mfg=Silicon Integrated Systems;Tamrix
PCI\VEN_1039&DEV_7001.DeviceDesc="SiS 7001 PCI to USB Open Host Controller";Tamrix
MS="Microsoft"
)inf");

// The usual usb.inf: no model sections of ours.  The model group goes in
// front of the next section header after [Manufacturer]'s own entries, each
// of its two headers at a section boundary.
inline const std::string kUsbPlainOld = disk(R"inf(
[Version]
Signature="$CHICAGO$"
Class=USB
Provider=%MS%
[Manufacturer]
%MS%=Microsoft
[Microsoft]
%USB\ROOT_HUB.DeviceDesc%=ROOTHUB.Dev,USB\ROOT_HUB
[Strings]
MS="Microsoft"
USB\ROOT_HUB.DeviceDesc="USB Root Hub"
)inf");
inline const std::string kUsbPlainNew = disk(R"inf(
[Version]
Signature="$CHICAGO$"
Class=USB
Provider=%MS%
[Manufacturer]
%Intel.Mfg%=Intel.Section;Tamrix
%SIS.Mfg%=SIS.Section;Tamrix
%MS%=Microsoft
[Intel.Section];Tamrix
%PCI\VEN_8086&DEV_7020.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7020;Tamrix
%PCI\VEN_8086&DEV_7112.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7112;Tamrix
[SIS.Section];Tamrix
%PCI\VEN_1039&DEV_7001.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_7001;Tamrix
[Microsoft]
%USB\ROOT_HUB.DeviceDesc%=ROOTHUB.Dev,USB\ROOT_HUB
[Strings]
Intel.Mfg=Intel;Tamrix
PCI\VEN_8086&DEV_7020.DeviceDesc="Intel 82371SB PCI to USB Universal Host Controller";Tamrix
PCI\VEN_8086&DEV_7112.DeviceDesc="Intel 82371AB PCI to USB Universal Host Controller";Tamrix
SIS.Mfg=Silicon Integrated Systems;Tamrix
PCI\VEN_1039&DEV_7001.DeviceDesc="SiS 7001 PCI to USB Open Host Controller";Tamrix
MS="Microsoft"
USB\ROOT_HUB.DeviceDesc="USB Root Hub"
)inf");

// The usb.inf that Install writes where there is none: 16 lines, each one
// marked, CR LF on disk.
inline const std::string kUsbCreated =
    "[Version];Tamrix\r\n"
    "Class=USB;Tamrix\r\n"
    "[Manufacturer];Tamrix\r\n"
    "%Intel.Mfg%=Intel.Section;Tamrix\r\n"
    "%SIS.Mfg%=SIS.Section;Tamrix\r\n"
    "[Intel.Section];Tamrix\r\n"
    "%PCI\\VEN_8086&DEV_7020.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7020;Tamrix\r\n"
    "%PCI\\VEN_8086&DEV_7112.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7112;Tamrix\r\n"
    "[SIS.Section];Tamrix\r\n"
    "%PCI\\VEN_1039&DEV_7001.DeviceDesc%=NO_DRV,PCI\\VEN_1039&DEV_7001;Tamrix\r\n"
    "[Strings];Tamrix\r\n"
    "Intel.Mfg=Intel;Tamrix\r\n"
    "PCI\\VEN_8086&DEV_7020.DeviceDesc=\"Intel 82371SB PCI to USB Universal Host "
    "Controller\";Tamrix\r\n"
    "PCI\\VEN_8086&DEV_7112.DeviceDesc=\"Intel 82371AB PCI to USB Universal Host "
    "Controller\";Tamrix\r\n"
    "SIS.Mfg=Silicon Integrated Systems;Tamrix\r\n"
    "PCI\\VEN_1039&DEV_7001.DeviceDesc=\"SiS 7001 PCI to USB Open Host Controller\";Tamrix\r\n";

// ---- folders --------------------------------------------------------------------
// An inf folder as name -> bytes; kFolder stands for a subfolder.
using folder = std::map<std::string, std::string>;
inline const std::string kFolder = "<folder>";

inline void put_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string get_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void lay_out(const std::string& inf_dir, const folder& content) {
    namespace fs = std::filesystem;
    for (const auto& entry : fs::directory_iterator(inf_dir)) fs::remove_all(entry.path());
    for (const auto& [name, bytes] : content) {
        if (bytes == kFolder)
            fs::create_directory(inf_dir + "/" + name);
        else
            put_file(inf_dir + "/" + name, bytes);
    }
}

inline folder snapshot(const std::string& inf_dir) {
    folder result;
    for (const auto& entry : std::filesystem::directory_iterator(inf_dir)) {
        std::string name = entry.path().filename().string();
        result[name] = entry.is_directory() ? kFolder : get_file(entry.path().string());
    }
    return result;
}

// A fresh Windows directory of exactly `length` characters (0: any) with an
// empty inf folder under it.
inline std::string make_windows_dir(size_t length = 0) {
    char base[] = "/tmp/tamrix-c.XXXXXX";
    std::string dir = mkdtemp(base);
    if (length > dir.size() + 1) {
        dir += "/" + std::string(length - dir.size() - 1, 'w');
        std::filesystem::create_directory(dir);
    }
    std::filesystem::create_directory(dir + "/inf");
    return dir;
}

// ---- message boxes ----------------------------------------------------------------
struct want_box {
    std::string text;  // "{inf}" stands for the inf folder, as the core names it
    std::string caption;
    box_icon icon;
    box_buttons buttons = buttons_ok;
};

inline const want_box kChooseBox{" Please choice drivers!", "Do what?", icon_question};
inline const want_box kInstalledBox{" The utility has updated completely!", "OK", icon_none};
inline const want_box kUninstalledBox{"The utility has uninstalled completely!", "OK", icon_none};
inline const want_box kInstallRenameBox{"Install Failure", "rename error", icon_none};
inline const want_box kUninstallRenameBox{"Uninstall failure", "Rename Error", icon_none};
inline const want_box kCreateUsbBox{"Can't create usb.inf", "File Open Error", icon_error};
inline want_box cant_find(const std::string& name) {
    return {"Can't find {inf}\\" + name, "File Open Error", icon_error};
}
inline want_box cant_create(const std::string& name) {
    return {"Can't create {inf}\\" + name, "File Open Error", icon_error};
}
inline want_box cant_write(const std::string& name) {
    return {"Can't write {inf}\\" + name, "File Write Error", icon_error};
}
inline want_box cant_read(const std::string& name) {
    return {"Can't read {inf}\\" + name, "File Read Error", icon_error};
}
inline want_box not_text(const std::string& name) {
    return {"Not a text file: {inf}\\" + name, "File Read Error", icon_error};
}

inline std::string replace_all(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

inline std::string describe(const std::string& text, const std::string& caption, box_icon icon,
                            box_buttons buttons) {
    static const char* const icons[] = {"no icon", "error icon", "question icon",
                                        "information icon"};
    return "\"" + text + "\" / \"" + caption + "\" / " + icons[icon] + " / " +
           (buttons == buttons_ok ? "OK" : "Yes No");
}

// The boxes shown since box number `from`, against the expected ones, with
// "{inf}" standing for `inf` (the inf folder as the core built its name).
inline void expect_boxes(const std::vector<want_box>& want, const std::string& inf,
                         size_t from = 0) {
    std::vector<std::string> wanted, shown;
    for (const want_box& b : want)
        wanted.push_back(describe(replace_all(b.text, "{inf}", inf), b.caption, b.icon, b.buttons));
    const auto& boxes = scripted::boxes();
    for (size_t i = from; i < boxes.size(); ++i)
        shown.push_back(describe(boxes[i].text, boxes[i].caption, boxes[i].icon, boxes[i].buttons));
    EXPECT_EQ(shown, wanted);
}

// ---- the process ------------------------------------------------------------------
// The exit status a run asks the program to end with, if any.
inline std::optional<int> exit_status(const run_outcome& run) {
    return run.ends_process ? std::optional<int>(1) : std::nullopt;
}

// A path as the file layer sees it: backslashes are separators.
inline std::string slashes(std::string path) { return replace_all(path, "\\", "/"); }

// ---- the test base ----------------------------------------------------------------
// A fresh process over a fresh Windows directory.
class inf_folder_test : public ::testing::Test {
protected:
    void SetUp() override { start(0); }
    void TearDown() override {
        scripted::reset();
        std::filesystem::remove_all(root_);
    }
    void start(size_t dir_length) {
        scripted::reset();
        files_changed = false;
        if (!root_.empty()) std::filesystem::remove_all(root_);
        dir_ = make_windows_dir(dir_length);
        root_ = dir_.substr(0, dir_.find('/', 5));
        scripted::set_windows_dir(dir_);
        ASSERT_TRUE(read_windows_dir());
    }
    // A fresh process over the same Windows directory.
    void fresh_process() {
        scripted::reset();
        files_changed = false;
        scripted::set_windows_dir(dir_);
        ASSERT_TRUE(read_windows_dir());
    }
    std::string inf_dir() const { return dir_ + "/inf"; }
    // The inf folder as the core names it: the Windows directory, "\inf".
    std::string inf_name() const { return dir_ + "\\inf"; }
    void lay_out(const folder& content) const { fixtures::lay_out(inf_dir(), content); }
    folder snapshot() const { return fixtures::snapshot(inf_dir()); }
    void expect_boxes(const std::vector<want_box>& want, size_t from = 0) const {
        fixtures::expect_boxes(want, inf_name(), from);
    }

    std::string dir_;
    std::string root_;
};

}  // namespace fixtures

#endif
