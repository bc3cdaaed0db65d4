// Shared pieces of the INF edit tests: the template lines as Tamrix must
// write them, small helpers to build expected texts, and a fixture that runs
// one replacement of machine.inf or usb.inf in a fresh Windows folder.
//
// Texts are written in the program's form (LF line ends) and turned into the
// on-disk form with dos(); inputs that need odd bytes are written raw.
#ifndef TAMRIX_TESTS_INF_FIXTURES_H
#define TAMRIX_TESTS_INF_FIXTURES_H

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "../engine/inf_engine.h"
#include "../inf/inf_templates.h"
#include "../ops/inf_replace.h"
#include "scripted_platform.h"

namespace fx {

using namespace std::string_literals;

// ---- the template lines, without their marker, one per line -------------------

inline const char kSysDevice[] =
    R"(%PCI\VEN_8086&DEV_7110.DeviceDesc%=ISA_DRV,PCI\VEN_8086&DEV_7110
%PCI\VEN_8086&DEV_7113.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7113
%PCI\VEN_8086&DEV_7100.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7100
%PCI\VEN_8086&DEV_7180.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7180
%PCI\VEN_8086&DEV_7181.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7181
%PCI\VEN_1039&DEV_5571.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_5571
%PCI\VEN_1039&DEV_5597.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_5597
)";

inline const char kPciAddReg[] =
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI,71108086,1,00,00,08,00
)";

inline const char kIrqMiniport[] =
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Name,,"Intel 82371AB"
HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Path,,"PCIMP.PCI"
HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Instance,1,01,00,00,00
)";

inline const char kExclude[] =
    R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7110
ExcludeFromSelect=PCI\VEN_8086&DEV_7113
ExcludeFromSelect=PCI\VEN_8086&DEV_7180
ExcludeFromSelect=PCI\VEN_8086&DEV_7181
ExcludeFromSelect=PCI\VEN_8086&DEV_7100
ExcludeFromSelect=PCI\VEN_1039&DEV_5571
ExcludeFromSelect=PCI\VEN_1039&DEV_5597
)";

inline const char kChipsetStrings[] =
    R"(PCI\VEN_8086&DEV_7110.DeviceDesc="Intel 82371AB PCI to ISA bridge"
PCI\VEN_8086&DEV_7113.DeviceDesc="Intel 82371AB Power Management controller"
PCI\VEN_8086&DEV_7100.DeviceDesc="Intel 82439TX Pentium(r) Process to PCI bridge"
PCI\VEN_8086&DEV_7180.DeviceDesc="Intel 82443LX Pentium(r) Process to PCI bridge"
PCI\VEN_8086&DEV_7181.DeviceDesc="Intel 82443LX Pentium(r) Process to AGP bridge"
PCI\VEN_1039&DEV_5571.DeviceDesc="SIS 5571 Host-to-PCI bridge"
PCI\VEN_1039&DEV_5597.DeviceDesc="SIS 5582 Host-to-PCI bridge"
)";

inline const char kUsbVersion[] =
    R"([Version]
Class=USB
)";

inline const char kUsbManufacturer[] =
    R"([Manufacturer]
%Intel.Mfg%=Intel.Section
%SIS.Mfg%=SIS.Section
)";

inline const char kUsbModel[] =
    R"([Intel.Section]
%PCI\VEN_8086&DEV_7020.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7020
%PCI\VEN_8086&DEV_7112.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7112
[SIS.Section]
%PCI\VEN_1039&DEV_7001.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_7001
)";

inline const char kUsbStrings[] =
    R"([Strings]
Intel.Mfg=Intel
PCI\VEN_8086&DEV_7020.DeviceDesc="Intel 82371SB PCI to USB Universal Host Controller"
PCI\VEN_8086&DEV_7112.DeviceDesc="Intel 82371AB PCI to USB Universal Host Controller"
SIS.Mfg=Silicon Integrated Systems
PCI\VEN_1039&DEV_7001.DeviceDesc="SiS 7001 PCI to USB Open Host Controller"
)";

// ---- building texts -------------------------------------------------------------

// Every LF becomes CR LF, as the output stream writes it.
inline std::string dos(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

inline std::vector<std::string> split_lines(const char* text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += *p;
        }
    }
    return lines;
}

inline bool listed(std::initializer_list<int> numbers, int n) {
    for (int k : numbers)
        if (k == n) return true;
    return false;
}

// Lines of a group (1-based numbers as in the tables; none given: all), each
// followed by the marker, as Tamrix adds them.
inline std::string marked(const char* group, std::initializer_list<int> only = {}) {
    std::string out;
    int n = 0;
    for (const std::string& line : split_lines(group)) {
        ++n;
        if (only.size() == 0 || listed(only, n)) out += line + ";Tamrix\n";
    }
    return out;
}

// The same lines, without the marker: as a user might have typed them.
inline std::string plain(const char* group, std::initializer_list<int> only = {}) {
    std::string out;
    int n = 0;
    for (const std::string& line : split_lines(group)) {
        ++n;
        if (only.size() == 0 || listed(only, n)) out += line + "\n";
    }
    return out;
}

// `text` filled with `fill` up to `length` characters, the final LF included.
inline std::string padded(const std::string& text, size_t length, char fill) {
    return text + std::string(length - 1 - text.size(), fill) + "\n";
}

inline std::string blanks(size_t n) { return std::string(n, ' '); }

// ---- running edits -----------------------------------------------------------------

// The edit that replace_inf_file runs when a test supplies its own steps.
inline std::function<void()>& script() {
    static std::function<void()> steps;
    return steps;
}
inline void scripted_edit() { script()(); }

// A fresh process state and a fresh Windows folder for every test.
class inf_test : public ::testing::Test {
protected:
    void SetUp() override {
        scripted::reset();
        dir_ = scripted::make_windows_dir();
        scripted::set_windows_dir(dir_);
        ASSERT_TRUE(read_windows_dir());
    }

    std::string path(inf_target target) const {
        return dir_ + (target == chipset_file ? "/inf/machine.inf" : "/inf/usb.inf");
    }
    void put(inf_target target, const std::string& bytes) { scripted::write_file(path(target), bytes); }
    std::string get(inf_target target) const { return scripted::read_file(path(target)); }

    // One replacement of the target with `edit`; returns the target's bytes.
    std::string run(inf_target target, inf_edit edit) {
        EXPECT_EQ(replace_inf_file(target, edit), replaced);
        return get(target);
    }
    std::string run(inf_target target, const std::string& input, inf_edit edit) {
        put(target, input);
        return run(target, edit);
    }

    std::string dir_;
};

// Prints a byte string so that line ends and control bytes can be seen.
inline std::string visible(const std::string& bytes) {
    std::string out;
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : bytes) {
        if (c == '\n') {
            out += "\\n\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Whole texts compared byte for byte; a failure shows both and where they part.
inline ::testing::AssertionResult same_bytes(const std::string& expected, const std::string& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    return ::testing::AssertionFailure()
           << "texts differ at byte " << at << "\n--- expected:\n" << visible(expected)
           << "\n--- actual:\n" << visible(actual);
}

#define EXPECT_BYTES(expected, actual) EXPECT_TRUE(::fx::same_bytes((expected), (actual)))

}  // namespace fx

#endif
