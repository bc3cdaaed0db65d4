// The merge properties (merge_properties.h) over thousands of generated
// inputs and a few chosen ones, for the chipset merge on platform kinds 1
// and 2 and for the USB merge.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <functional>

#include "merge_properties.h"

namespace {

using props::merge_case;

// Each input is written, flushed and renamed several times over: a memory
// file system, where there is one, saves the disk syncs.
const bool kInMemory = [] {
    struct stat info;
    const char* tmp = getenv("TMPDIR");
    if ((tmp == nullptr || tmp[0] == '\0') && stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode))
        setenv("TMPDIR", "/dev/shm", 1);
    return true;
}();

const uint64_t kGeneratedInputs = 3000;  // per merge
const int kReportedFailures = 3;

std::string shown(const std::string& bytes) { return "\"" + props::escaped(bytes) + "\""; }

// The reference the properties rest on, checked against the text-mode rules
// by hand.
struct text_case {
    const char* what;
    std::string disk;
    std::string read;  // what the program reads
};

TEST(TextModeReference, ReadsAsTheEngineMust) {
    const text_case cases[] = {
        {"CR LF becomes LF", "a\r\nb\r\n", "a\nb\n"},
        {"a lone LF stays", "a\nb", "a\nb"},
        {"a lone CR stays", "a\rb\r", "a\rb\r"},
        {"CR CR LF", "a\r\r\n", "a\r\n"},
        {"Ctrl-Z ends it", "a\r\nb\x1A\r\nc", "a\nb"},
        {"Ctrl-Z after a CR", "a\r\x1A\n", "a\r"},
        {"NUL is a byte", std::string("a\0b\r\n", 5), std::string("a\0b\n", 4)},
    };
    for (const text_case& c : cases) {
        EXPECT_EQ(props::text_read(c.disk), c.read) << c.what;
    }
    EXPECT_EQ(props::text_write("a\nb\rc\n"), "a\r\nb\rc\r\n");
}

TEST(TextModeReference, SplitsLongLinesInto254CharacterPieces) {
    struct split_case {
        const char* what;
        std::string text;
        std::vector<size_t> lengths;
        std::vector<bool> continuation;
    };
    const split_case cases[] = {
        {"300 characters with the LF", std::string(299, 'x') + "\n", {254, 46}, {false, true}},
        {"254 with the LF: one piece", std::string(253, 'x') + "\n", {254}, {false}},
        {"255 with the LF: the LF alone", std::string(254, 'x') + "\n", {254, 1}, {false, true}},
        {"a line after a long one starts afresh", std::string(254, 'x') + "\nab\n",
         {254, 1, 3}, {false, true, false}},
        {"no final LF", "ab", {2}, {false}},
    };
    for (const split_case& c : cases) {
        std::vector<props::piece> pieces = props::pieces_of(c.text);
        std::vector<size_t> lengths;
        std::vector<bool> continuation;
        for (const props::piece& p : pieces) {
            lengths.push_back(p.text.size());
            continuation.push_back(p.continuation);
        }
        EXPECT_EQ(lengths, c.lengths) << c.what;
        EXPECT_EQ(continuation, c.continuation) << c.what;
    }
}

// The generator must keep producing what the properties are meant to meet.
TEST(Generator, CoversWhatTheMergesMeet) {
    struct feature {
        const char* what;
        std::function<bool(const std::string&)> holds;
        int seen;
    };
    auto has = [](const char* text) {
        return [text](const std::string& s) { return s.find(text) != std::string::npos; };
    };
    auto long_line = [](size_t at_least) {
        return [at_least](const std::string& s) {
            size_t run = 0;
            for (char c : s) {
                run = c == '\n' ? 0 : run + 1;
                if (run >= at_least) return true;
            }
            return false;
        };
    };
    std::vector<feature> features = {
        {"CR LF", has("\r\n"), 0},
        {"LF alone", [](const std::string& s) {
             for (size_t i = 0; i < s.size(); i++)
                 if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) return true;
             return false;
         }, 0},
        {"lone CR", [](const std::string& s) {
             for (size_t i = 0; i + 1 < s.size(); i++)
                 if (s[i] == '\r' && s[i + 1] != '\n') return true;
             return false;
         }, 0},
        {"Ctrl-Z at the end", [](const std::string& s) { return !s.empty() && s.back() == '\x1A'; }, 0},
        {"Ctrl-Z before more text", [](const std::string& s) {
             size_t z = s.find('\x1A');
             return z != std::string::npos && z + 1 < s.size();
         }, 0},
        {"no final line end", [](const std::string& s) { return !s.empty() && s.back() != '\n'; }, 0},
        {"NUL byte", [](const std::string& s) { return s.find('\0') != std::string::npos; }, 0},
        {"a line of 254 or more", long_line(254), 0},
        {"a line of 300 or more", long_line(300), 0},
        {"tab before text", has("\t"), 0},
        {"[MS_SYS]", has("[MS_SYS]"), 0},
        {"[ms_sys]", has("[ms_sys]"), 0},
        {"%PCI\\VEN_", has("%PCI\\VEN_"), 0},
        {"[PCI_DRV_AddReg]", has("[PCI_DRV_AddReg]"), 0},
        {"IRQMiniports", has("IRQMiniports"), 0},
        {"[ControlFlags]", has("[ControlFlags]"), 0},
        {"ExcludeFromSelect=PCI\\VEN_", has("ExcludeFromSelect=PCI\\VEN_"), 0},
        {"[Strings]", has("[Strings]"), 0},
        {"[Version]", has("[Version]"), 0},
        {"[Manufacturer]", has("[Manufacturer]"), 0},
        {"[Intel.Section]", has("[Intel.Section]"), 0},
        {"[SIS.Section]", has("[SIS.Section]"), 0},
        {"a marked line", has(";Tamrix\r\n"), 0},
        {"UTF-16 mark", [](const std::string& s) {
             return s.rfind("\xFF\xFE", 0) == 0 || s.rfind("\xFE\xFF", 0) == 0;
         }, 0},
        {"empty", [](const std::string& s) { return s.empty(); }, 0},
    };
    const int inputs = (int)kGeneratedInputs;
    for (uint64_t seed = 1; seed <= kGeneratedInputs; seed++) {
        std::string input = props::generate_inf(seed);
        EXPECT_EQ(input, props::generate_inf(seed)) << "seed " << seed << " is not repeatable";
        for (feature& f : features)
            if (f.holds(input)) f.seen++;
    }
    for (const feature& f : features)
        EXPECT_GE(f.seen, inputs / 200) << f.what << " in only " << f.seen << " of " << inputs;
}

// Inputs the generator may meet only rarely.
TEST(MergeProperties, HoldForChosenInputs) {
    const std::string long_header = "[Strings]" + std::string(260, 'x');
    // A CR LF whose CR is the last byte of a 16 KiB block and its LF the
    // first of the next: still one line end.
    std::string across_blocks;
    for (int i = 0; i < 163; i++) across_blocks += std::string(98, 'x') + "\r\n";
    across_blocks += std::string(83, 'y') + "\r\n[Strings]\r\nPCI\\VEN_1\r\n";
    const std::pair<const char*, std::string> inputs[] = {
        {"empty", ""},
        {"one LF", "\n"},
        {"unterminated header at the end", "[Version]\r\nA=1\r\n[Strings]"},
        {"unterminated line ending in a lone CR", "[Version]\r\nA=1\r"},
        {"header longer than a piece", long_header + "\r\n[Manufacturer]\r\n"},
        {"unterminated long header", long_header},
        {"anchor as the second piece", std::string(254, 'y') + "[MS_SYS]\r\n%PCI\\VEN_1\r\n"},
        {"CR LF across the piece limit", std::string(253, 'z') + "\r\n[Strings]\r\nPCI\\VEN_1\r\n"},
        {"every chipset anchor",
         "[MS_SYS]\r\n%PCI\\VEN_1\r\n[PCI_DRV_AddReg]\r\n"
         "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI,1\r\n"
         "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\IRQMiniports\\1,Name,,\"x\"\r\n"
         "[ControlFlags]\r\nExcludeFromSelect=PCI\\VEN_1\r\n[Strings]\r\nPCI\\VEN_1=\"x\"\r\n"},
        {"every USB header, LF only",
         "[Version]\nClass=USB\n[Manufacturer]\n[Intel.Section]\n[SIS.Section]\n[Strings]\n"},
        {"marked lines already there", "[Strings];Tamrix\r\nIntel.Mfg=Intel;Tamrix\r\n"},
        {"Ctrl-Z alone", "\x1A[Version]\r\n"},
        {"CR LF across read blocks", across_blocks},
    };
    for (merge_case which : {props::chipset_kind1, props::chipset_kind2, props::usb_merge}) {
        for (const auto& input : inputs) {
            EXPECT_EQ(props::check_merge(input.second, which), "")
                << props::case_name(which) << ", " << input.first << ": " << shown(input.second);
        }
    }
}

// The engine reads through a 64 KiB buffer and scans it in place.  A line
// longer than a piece ends at each place around the end of the first
// buffer's worth (its LF the last byte of it, the first after it, ...),
// followed by an empty line and a generated input, behind filler that ends
// its lines in CR LF or in LF alone.
TEST(MergeProperties, HoldAcrossTheInputBuffer) {
    const size_t kBuffer = 65536;
    for (size_t back : {0, 1, 2, 3, 4, 5, 6, 7, 8, 20, 60, 130, 200, 253, 254, 255, 256, 257, 300}) {
        for (const std::string line_end : {"\r\n", "\n"}) {
            // The long line's LF lands at kBuffer + 1 - back.
            const size_t lf_at = kBuffer + 1 - back;
            std::string input;
            for (int n = 0; input.size() + 400 < lf_at; n++)
                input += "; filler line " + std::to_string(n) + line_end;
            input += std::string(lf_at + 1 - line_end.size() - input.size(), 'x') + line_end;
            input += line_end;
            std::string generated = props::generate_inf(back + 1);
            for (char& c : generated)
                if (c == '\x1A') c = 'Z';  // no Ctrl-Z: what lies beyond it is never read
            input += generated;
            for (merge_case which : {props::chipset_kind1, props::chipset_kind2, props::usb_merge}) {
                EXPECT_EQ(props::check_merge(input, which), "")
                    << props::case_name(which) << ", LF at " << lf_at << ", "
                    << (line_end.size() == 2 ? "CR LF" : "LF") << " filler";
            }
        }
    }
}

class GeneratedInputs : public ::testing::TestWithParam<merge_case> {};

TEST_P(GeneratedInputs, MergePropertiesHold) {
    merge_case which = GetParam();
    int failures = 0;
    props::coverage seen;
    for (uint64_t seed = 1; seed <= kGeneratedInputs && failures < kReportedFailures; seed++) {
        std::string input = props::generate_inf(seed);
        std::string failure = props::check_merge(input, which, &seen);
        if (failure.empty()) continue;
        failures++;
        std::string smallest = props::minimise(input, which);
        ADD_FAILURE() << props::case_name(which) << ", seed " << seed << ": " << failure
                      << "\n  input: " << shown(input)
                      << "\n  smallest input that fails: " << shown(smallest)
                      << "\n  which fails with: " << props::check_merge(smallest, which);
    }
    if (failures > 0) return;
    // Enough of the inputs must leave the merge something to do.
    const int some = seen.inputs / 100;
    EXPECT_GE(seen.lines_added, seen.inputs / 4) << "inputs that got template lines";
    EXPECT_GE(seen.lines_skipped, some) << "inputs that held some template lines already";
    EXPECT_GE(seen.marked_stripped, some) << "inputs with marked lines of their own";
    EXPECT_GE(seen.not_text, 1) << "UTF-16 inputs";
    if (which == props::usb_merge) {
        EXPECT_GE(seen.lf_added, some) << "inputs whose last line the merge ended";
    }
    printf("  %d inputs: %d got lines, %d held some already, %d had their last line ended, "
           "%d held marked lines, %d were UTF-16\n",
           seen.inputs, seen.lines_added, seen.lines_skipped, seen.lf_added, seen.marked_stripped,
           seen.not_text);
}

std::string merge_name(const ::testing::TestParamInfo<merge_case>& info) {
    switch (info.param) {
        case props::chipset_kind1: return "ChipsetKind1";
        case props::chipset_kind2: return "ChipsetKind2";
        default: return "Usb";
    }
}

INSTANTIATE_TEST_SUITE_P(Merges, GeneratedInputs,
                         ::testing::Values(props::chipset_kind1, props::chipset_kind2,
                                           props::usb_merge),
                         merge_name);

}  // namespace
