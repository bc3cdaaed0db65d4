// The merge properties and the input generator: see merge_properties.h.
#include "merge_properties.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "../engine/inf_engine.h"
#include "../inf/inf_templates.h"
#include "../ops/inf_replace.h"
#include "scripted_platform.h"

namespace props {

namespace {

const size_t kPieceLimit = 254;
const std::string kMark = ";Tamrix\n";

// ---- what a merge may add: its groups, from the tests' one copy -------------------------

struct template_line {
    const char* group;
    std::string text;  // ending in kMark
};

// The lines of the merge's groups, in table order.
std::vector<template_line> lines_of(merge_case which) {
    static const char* const chipset[] = {"sys_device_lines", "pci_addreg_lines",
                                          "irq_miniport_lines", "exclude_lines",
                                          "chipset_string_lines"};
    static const char* const usb[] = {"usb_version_lines", "usb_manufacturer_lines",
                                      "usb_model_lines", "usb_string_lines"};
    std::vector<template_line> lines;
    auto add = [&](const char* group) {
        for (const std::string& text : fx::group_lines(group)) lines.push_back({group, text + kMark});
    };
    if (which == usb_merge) {
        for (const char* group : usb) add(group);
    } else {
        for (const char* group : chipset)
            if (which == chipset_kind2 || std::string(group) != "irq_miniport_lines") add(group);
    }
    return lines;
}

// ---- the pre-scan, as the engine's rules say ---------------------------------------------

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

// The piece's line text, after blanks and tabs, begins with `what`.
bool holds(const piece& p, const std::string& what) {
    if (p.continuation) return false;
    size_t start = 0;
    while (start < p.text.size() && (p.text[start] == ' ' || p.text[start] == '\t')) start++;
    if (p.text.size() - start < what.size()) return false;
    for (size_t i = 0; i < what.size(); i++)
        if (ascii_lower(p.text[start + i]) != ascii_lower(what[i])) return false;
    return true;
}

// The merge's lines that no line of the text already holds (less the marker).
std::vector<std::string> candidates(const std::string& text, merge_case which) {
    std::vector<piece> pieces = pieces_of(text);
    std::vector<std::string> left;
    for (const template_line& line : lines_of(which)) {
        std::string bare = line.text.substr(0, line.text.size() - kMark.size());
        bool present = std::any_of(pieces.begin(), pieces.end(),
                                   [&](const piece& p) { return holds(p, bare); });
        if (!present) left.push_back(line.text);
    }
    return left;
}

// The text without its marked lines, as strip_marked_lines leaves it.
std::string strip(const std::string& text) {
    std::string left;
    for (const piece& p : pieces_of(text)) {
        bool marked = !p.continuation && p.text.size() >= kMark.size() &&
                      p.text.compare(p.text.size() - kMark.size(), kMark.size(), kMark) == 0;
        if (!marked) left += p.text;
    }
    return left;
}

// ---- reading the merged text against the input ------------------------------------------------

std::string line_number(const std::string& text, size_t offset) {
    return "line " + std::to_string(std::count(text.begin(), text.begin() + offset, '\n') + 1);
}

std::string around(const std::string& text, size_t offset) {
    size_t from = offset < 40 ? 0 : offset - 40;
    return "\"" + escaped(text.substr(from, offset - from)) + "\" ^ \"" +
           escaped(text.substr(offset, 40)) + "\"";
}

struct insertion {
    size_t offset;  // in the read text of the input
    size_t line;    // in the candidates
};

struct alignment {
    std::vector<insertion> added;
    bool lf_added = false;
    std::string error;
};

// Reads `merged` as `input` with whole lines from `candidates` added at the
// starts of its lines, and an LF in front of lines added after an
// unterminated last line.
alignment align(const std::string& input, const std::string& merged,
                const std::vector<std::string>& candidates) {
    alignment a;
    size_t in = 0, out = 0;
    auto starts_with = [](const std::string& text, size_t at, const std::string& what) {
        return text.compare(at, what.size(), what) == 0;
    };
    for (;;) {
        bool at_end = in == input.size();
        if (in == 0 || input[in - 1] == '\n' || at_end) {
            size_t first = a.added.size();
            if (at_end && !input.empty() && input.back() != '\n' && out < merged.size()) {
                if (merged[out] != '\n') {
                    a.error = "after the unterminated last line the output goes on with " +
                              around(merged, out);
                    return a;
                }
                a.lf_added = true;
                out++;
            }
            for (bool more = true; more;) {
                more = false;
                for (size_t c = 0; c < candidates.size() && !more; c++) {
                    const std::string& line = candidates[c];
                    if (starts_with(merged, out, line) &&
                        !(in < input.size() && starts_with(input, in, line))) {
                        a.added.push_back({in, c});
                        out += line.size();
                        more = true;
                    }
                }
            }
            if (a.lf_added && a.added.size() == first) {
                a.error = "an LF was added after the unterminated last line, and no template "
                          "line after it";
                return a;
            }
        }
        if (at_end) break;
        if (out >= merged.size() || merged[out] != input[in]) {
            a.error = "the input's " + line_number(input, in) + " is not copied as it stands: input " +
                      around(input, in) + ", output " + around(merged, out);
            for (const std::string& group : fx::group_names())
                for (const std::string& line : fx::group_lines(group))
                    if (starts_with(merged, out, line + kMark))
                        a.error += "; the output adds " + escaped(line + kMark) + " of " + group +
                                   " here, which the input holds already or this merge does not add";
            return a;
        }
        in++;
        out++;
    }
    if (out != merged.size())
        a.error = "the output goes on after the whole input: \"" + escaped(merged.substr(out, 200)) +
                  "\"";
    return a;
}

// The lines added stand in table order, each once.
std::string check_order(const alignment& a, const std::vector<std::string>& candidates,
                        const std::string& input) {
    for (size_t i = 1; i < a.added.size(); i++) {
        const insertion& before = a.added[i - 1];
        const insertion& now = a.added[i];
        if (now.line > before.line) continue;
        return escaped(candidates[now.line]) + " is added at " + line_number(input, now.offset) +
               (now.line == before.line ? " twice" : " after " + escaped(candidates[before.line])) +
               ", against the order of the tables";
    }
    return "";
}

// ---- running the real thing -----------------------------------------------------------------------

namespace fs = std::filesystem;

const std::string& windows_folder() {
    static const std::string dir = scripted::make_windows_dir();
    return dir;
}

void empty_folder(const std::string& dir) {
    for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());
}

std::string outcome_name(file_outcome outcome) {
    switch (outcome) {
        case replaced: return "replaced";
        case target_missing: return "target_missing";
        case rename_failed: return "rename_failed";
        case write_failed: return "write_failed";
        case read_failed: return "read_failed";
        case path_too_long: return "path_too_long";
        case cannot_create: return "cannot_create";
        default: break;
    }
    return "outcome " + std::to_string((int)outcome);
}

std::string boxes_shown() {
    std::string list;
    for (const scripted::box& b : scripted::boxes()) list += " [" + b.caption + ": " + b.text + "]";
    return list;
}

struct target_setup {
    inf_target target;
    std::string name;
    inf_edit merge;
    int windows_kind;
};

target_setup setup_for(merge_case which) {
    if (which == usb_merge) return {usb_file, "usb.inf", merge_usb_inf, 1};
    return {chipset_file, "machine.inf", merge_chipset_inf, which == chipset_kind2 ? 2 : 1};
}

// Runs one replacement and checks that it ended cleanly; "" when it did.
std::string run_replace(const target_setup& setup, inf_edit edit, const char* what,
                        std::string* result) {
    const std::string inf = windows_folder() + "/inf";
    file_outcome outcome = replace_inf_file(setup.target, edit, setup.windows_kind);
    if (outcome != replaced) return std::string(what) + ": " + outcome_name(outcome) + boxes_shown();
    if (!scripted::boxes().empty()) return std::string(what) + ": boxes shown:" + boxes_shown();
    if (scripted::open_files() != 0) return std::string(what) + ": files left open";
    std::vector<std::string> names = scripted::list_dir(inf);
    if (names != std::vector<std::string>{setup.name}) {
        std::string list;
        for (const std::string& n : names) list += " " + n;
        return std::string(what) + ": the folder holds" + list;
    }
    *result = scripted::read_file(inf + "/" + setup.name);
    return "";
}

std::string check(const std::string& input, merge_case which, coverage* seen) {
    const std::string& dir = windows_folder();
    const std::string inf = dir + "/inf";
    target_setup setup = setup_for(which);
    scripted::reset();
    empty_folder(inf);
    scripted::set_windows_dir(dir);
    if (!read_windows_dir()) return "read_windows_dir failed";
    scripted::write_file(inf + "/" + setup.name, input);

    bool utf16 = input.size() >= 2 && ((input[0] == '\xFF' && input[1] == '\xFE') ||
                                       (input[0] == '\xFE' && input[1] == '\xFF'));
    if (utf16) {
        file_outcome outcome = replace_inf_file(setup.target, setup.merge, setup.windows_kind);
        if (outcome != read_failed) return "a UTF-16 file gave " + outcome_name(outcome);
        if (scripted::read_file(inf + "/" + setup.name) != input) return "a UTF-16 file was changed";
        if (scripted::list_dir(inf) != std::vector<std::string>{setup.name})
            return "a UTF-16 file left other files";
        seen->not_text++;
        return "";
    }

    std::string merged;
    std::string failure = run_replace(setup, setup.merge, "the merge", &merged);
    if (!failure.empty()) return failure;

    // Text mode writes every LF as CR LF and never a Ctrl-Z.
    std::string merged_text = text_read(merged);
    if (text_write(merged_text) != merged)
        return "the merged file is not text written in text mode: \"" + escaped(merged) + "\"";

    // Every input line once and in order, with whole template lines between
    // that the input did not hold, in table order, each once.
    const std::string input_text = text_read(input);
    const std::vector<std::string> lines = candidates(input_text, which);
    alignment actual = align(input_text, merged_text, lines);
    if (!actual.error.empty()) return "merged text: " + actual.error;
    failure = check_order(actual, lines, input_text);
    if (!failure.empty()) return "merged text: " + failure;

    std::string again;
    failure = run_replace(setup, setup.merge, "the second merge", &again);
    if (!failure.empty()) return failure;
    if (again != merged) {
        size_t at = std::mismatch(again.begin(), again.end(), merged.begin(), merged.end()).first -
                    again.begin();
        return "merging the merged file again changes it at byte " + std::to_string(at) +
               ": first " + around(merged, at) + ", second " + around(again, at);
    }

    std::string stripped;
    failure = run_replace(setup, uninstall_inf, "the strip", &stripped);
    if (!failure.empty()) return failure;
    std::string want = text_write(strip(input_text + (actual.lf_added ? "\n" : "")));
    if (stripped != want) {
        size_t at = std::mismatch(stripped.begin(), stripped.end(), want.begin(), want.end()).first -
                    stripped.begin();
        return "stripping the merged file does not give the input back, at byte " +
               std::to_string(at) + ": expected " + around(want, at) + ", got " +
               around(stripped, at);
    }

    if (!actual.added.empty()) seen->lines_added++;
    if (!actual.added.empty() && lines.size() < lines_of(which).size()) seen->lines_skipped++;
    if (actual.lf_added) seen->lf_added++;
    if (strip(input_text) != input_text) seen->marked_stripped++;
    return "";
}

// ---- the generator ---------------------------------------------------------------------------------

class rng {
  public:
    explicit rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {  // splitmix64
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t below(size_t n) { return n == 0 ? 0 : (size_t)(next() % n); }
    bool percent(int p) { return below(100) < (size_t)p; }
    template <typename T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }
    template <typename T>
    const T& pick(const std::vector<T>& items) {
        return items[below(items.size())];
    }

  private:
    uint64_t state_;
};

const char* const kHeaders[] = {
    "[MS_SYS]",        "[PCI_DRV_AddReg]", "[ControlFlags]", "[Strings]",           "[Version]",
    "[Manufacturer]",  "[Intel.Section]",  "[SIS.Section]",  "[",                   "[DestinationDirs]",
    "[StringsX",       "[Strings]X",       "[ms_sys]",       "[SysCfgClassInstall]", "[NO_DRV]",
};

const char* const kAnchors[] = {
    "%PCI\\VEN_",
    "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI,",
    "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\IRQMiniports",
    "ExcludeFromSelect=PCI\\VEN_",
    "PCI\\VEN_",
    "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI",
};

const char* const kSysEntries[] = {
    "%PCI\\VEN_8086&DEV_122E.DeviceDesc%=ISA_DRV,PCI\\VEN_8086&DEV_122E",
    "%PCI\\VEN_8086&DEV_7110.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7110",
    "%*PNP0C01.DeviceDesc%=NO_DRV,*PNP0C01",
    "%PCI\\VEN_1039&DEV_0008.DeviceDesc%=ISA_DRV,PCI\\VEN_1039&DEV_0008",
};
const char* const kAddRegEntries[] = {
    "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI,12345678,1,00,00,00,00",
    "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\IRQMiniports\\12345678,Name,,\"Other\"",
    "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\IRQMiniports\\71108086,Path,,\"X\"",
    "HKR,,DevLoader,,*CONFIGMG",
    "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI",
};
const char* const kControlEntries[] = {
    "ExcludeFromSelect=PCI\\VEN_8086&DEV_1234",
    "ExcludeFromSelect=*PNP0C01",
    "CopyFilesOnly=*PNP0C02",
};
const char* const kStringEntries[] = {
    "PCI\\VEN_8086&DEV_122E.DeviceDesc=\"Intel 82371FB PCI to ISA bridge\"",
    "*PNP0C01.DeviceDesc=\"System board\"",
    "Intel.Mfg=\"Intel Corporation\"",
    "MS=\"Microsoft\"",
};
const char* const kUsbEntries[] = {
    "signature=\"$CHICAGO$\"",
    "Class=USB",
    "Class=System",
    "LayoutFile=layout.inf",
    "%Intel.Mfg%=Intel.Section",
    "%Other.Mfg%=Other",
    "%PCI\\VEN_8086&DEV_7020.DeviceDesc%=USB_DRV,PCI\\VEN_8086&DEV_7020",
    "%PCI\\VEN_1039&DEV_7001.DeviceDesc%=NO_DRV,PCI\\VEN_1039&DEV_7001",
};
const char* const kOther[] = {"; a comment", "", ";", "Provider=%MS%", "[Strings]; note",
                              "HKR,,NoSetupUI,,1", "=", ";Tamrix"};

std::string random_case(rng& r, std::string text) {
    int how = (int)r.below(3);
    for (char& c : text) {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter) continue;
        bool upper = how == 0 ? true : how == 1 ? false : r.percent(50);
        c = upper ? (char)(c & ~0x20) : (char)(c | 0x20);
    }
    return text;
}

std::string random_bytes(rng& r, size_t count, bool any_byte) {
    std::string bytes;
    for (size_t i = 0; i < count; i++) {
        if (any_byte)
            bytes += (char)r.below(256);
        else
            bytes += (char)(' ' + r.below(95));  // printable ASCII
    }
    return bytes;
}

// A template line of either file, as a file might already hold it.
std::string template_variant(rng& r) {
    const std::string text = r.pick(fx::group_lines(r.pick(fx::group_names())));
    switch (r.below(9)) {
        case 0: case 1: return text;
        case 2: case 3: return text + ";Tamrix";
        case 4: return text + " ; a note";
        case 5: return text + ";Tamrix and more";
        case 6: return random_case(r, text) + (r.percent(50) ? ";Tamrix" : "");
        case 7: return text.substr(0, r.below(text.size()));  // cut short: not present
        default: return text + ";TAMRIX";
    }
}

std::string something_to_start_with(rng& r) {
    switch (r.below(4)) {
        case 0: return r.pick(kHeaders);
        case 1: return r.pick(kAnchors);
        case 2: return template_variant(r);
        default: return ";Tamrix";
    }
}

// A line of about the piece limit, or longer.  The length counts the line
// end as one character, as reading does.
std::string long_line(rng& r) {
    static const size_t lengths[] = {252, 253, 254, 255, 256, 257, 300, 301, 400, 508, 509, 510, 700};
    size_t length = r.pick(lengths) - 1;  // less the line end
    std::string line = r.percent(40) ? something_to_start_with(r) : "";
    if (r.percent(35) && length > kPieceLimit) {
        // Something that would match, just where the second piece begins.
        line += random_bytes(r, kPieceLimit > line.size() ? kPieceLimit - line.size() : 0, false);
        line += something_to_start_with(r);
    }
    std::string tail = r.percent(25) ? ";Tamrix" : "";
    if (line.size() + tail.size() < length) line += random_bytes(r, length - line.size() - tail.size(), false);
    return line + tail;
}

std::string entry_for(rng& r, const std::string& header) {
    std::string h = header;
    for (char& c : h) c = ascii_lower(c);
    if (h.rfind("[ms_sys", 0) == 0) return r.pick(kSysEntries);
    if (h.rfind("[pci_drv", 0) == 0) return r.pick(kAddRegEntries);
    if (h.rfind("[controlflags", 0) == 0) return r.pick(kControlEntries);
    if (h.rfind("[strings", 0) == 0) return r.pick(kStringEntries);
    return r.pick(kUsbEntries);
}

std::string any_line(rng& r) {
    switch (r.below(20)) {
        case 0: case 1: case 2: return r.pick(kHeaders);
        case 3: return random_case(r, r.pick(kHeaders));
        case 4: case 5: return r.pick(kAnchors);
        case 6: return r.pick(kSysEntries);
        case 7: return r.pick(kAddRegEntries);
        case 8: return r.pick(kControlEntries);
        case 9: return r.pick(kStringEntries);
        case 10: case 11: return r.pick(kUsbEntries);
        case 12: case 13: case 14: return template_variant(r);
        case 15: return long_line(r);
        case 16: return random_bytes(r, r.below(40), true);
        default: return r.pick(kOther);
    }
}

// Sections as the two files have them, some missing, reordered, doubled or
// in another case, with their usual entries and some strays.
std::vector<std::string> skeleton(rng& r, bool usb) {
    std::vector<std::string> headers =
        usb ? std::vector<std::string>{"[Version]", "[Manufacturer]", "[Intel.Section]",
                                       "[SIS.Section]", "[Strings]"}
            : std::vector<std::string>{"[Version]", "[MS_SYS]", "[PCI_DRV_AddReg]",
                                       "[ControlFlags]", "[Strings]"};
    std::vector<std::string> order;
    for (const std::string& h : headers)
        if (!r.percent(20)) order.push_back(h);
    if (r.percent(15) && !order.empty()) {
        std::string again = r.pick(order);
        order.push_back(again);
    }
    if (r.percent(20)) order.insert(order.begin() + r.below(order.size() + 1), r.pick(kHeaders));
    if (r.percent(20))
        for (size_t i = order.size(); i > 1; i--) std::swap(order[i - 1], order[r.below(i)]);

    std::vector<std::string> lines;
    if (r.percent(30)) lines.push_back("; " + std::string(usb ? "usb.inf" : "machine.inf"));
    for (const std::string& h : order) {
        std::string header = r.percent(20) ? random_case(r, h) : h;
        if (r.percent(10)) header += " ; section";
        lines.push_back(header);
        size_t entries = r.below(6);
        for (size_t i = 0; i < entries; i++) {
            int what = (int)r.below(10);
            if (what < 6) lines.push_back(entry_for(r, h));
            else if (what < 8) lines.push_back(template_variant(r));
            else lines.push_back(any_line(r));
        }
    }
    return lines;
}

std::string line_end(rng& r) {
    switch (r.below(40)) {
        case 0: case 1: return "\r";  // a lone CR: the line goes on
        case 2: return "\r\r\n";
        case 3: return "\n\r\n";
        default: return r.percent(70) ? "\r\n" : "\n";
    }
}


}  // namespace

// ---- the public part ---------------------------------------------------------------------------------

const char* case_name(merge_case which) {
    switch (which) {
        case chipset_kind1: return "chipset merge, platform kind 1";
        case chipset_kind2: return "chipset merge, platform kind 2";
        case usb_merge: return "USB merge";
        default: return "?";
    }
}

std::string check_merge(const std::string& input, merge_case which, coverage* seen) {
    coverage ignored;
    if (seen == nullptr) seen = &ignored;
    seen->inputs++;
    try {
        return check(input, which, seen);
    } catch (const std::exception& error) {
        return std::string("the check itself failed: ") + error.what();
    }
}

std::string minimise(const std::string& input, merge_case which) {
    std::string best = input;
    if (check_merge(best, which).empty()) return best;
    int budget = 20000;
    for (size_t chunk = std::max<size_t>(best.size() / 2, 1);; chunk /= 2) {
        for (bool progress = true; progress && budget > 0;) {
            progress = false;
            for (size_t start = 0; start < best.size() && budget > 0; budget--) {
                std::string candidate = best.substr(0, start);
                if (start + chunk < best.size()) candidate += best.substr(start + chunk);
                if (!check_merge(candidate, which).empty()) {
                    best = candidate;
                    progress = true;
                } else {
                    start += chunk;
                }
            }
        }
        if (chunk == 1) break;
    }
    return best;
}

std::string generate_inf(uint64_t seed) {
    rng r(seed * 0x2545F4914F6CDD1Dull + 1);
    std::vector<std::string> lines;
    switch (r.below(20)) {
        case 0: break;  // empty
        case 1: lines.push_back(any_line(r)); break;
        case 2: return random_bytes(r, r.below(300), true);
        case 3: case 4: case 5: {
            size_t count = r.below(30);
            for (size_t i = 0; i < count; i++) lines.push_back(any_line(r));
            break;
        }
        default: lines = skeleton(r, r.percent(50)); break;
    }
    std::string text;
    if (r.percent(2)) text += r.percent(50) ? "\xFF\xFE" : "\xFE\xFF";
    for (size_t i = 0; i < lines.size(); i++) {
        std::string line = lines[i];
        if (r.percent(15)) {
            size_t blanks = 1 + r.below(4);
            for (size_t b = 0; b < blanks; b++) line = (r.percent(50) ? " " : "\t") + line;
        }
        if (r.percent(4)) line.insert(r.below(line.size() + 1), 1, '\0');
        text += line;
        bool last = i + 1 == lines.size();
        if (!last || !r.percent(30)) text += line_end(r);
    }
    if (r.percent(3) && !text.empty()) text.insert(r.below(text.size()), 1, '\x1A');
    if (r.percent(8)) text += r.percent(50) ? "\x1A" : "\x1A[Strings]\r\nafter Ctrl-Z\r\n";
    return text;
}

std::string text_read(const std::string& disk) {
    std::string text;
    for (size_t i = 0; i < disk.size() && disk[i] != '\x1A'; i++) {
        if (disk[i] == '\r' && i + 1 < disk.size() && disk[i + 1] == '\n') {
            text += '\n';
            i++;
        } else {
            text += disk[i];
        }
    }
    return text;
}

std::string text_write(const std::string& text) {
    std::string disk;
    for (char c : text) {
        if (c == '\n') disk += '\r';
        disk += c;
    }
    return disk;
}

std::vector<piece> pieces_of(const std::string& text) {
    std::vector<piece> pieces;
    bool continuation = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && end - start < kPieceLimit) {
            if (text[end++] == '\n') break;
        }
        pieces.push_back({text.substr(start, end - start), continuation});
        continuation = text[end - 1] != '\n';
        start = end;
    }
    return pieces;
}


}  // namespace props
