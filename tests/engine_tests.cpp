// The line engine, byte for byte: text-mode reading and writing, pieces of
// long lines, matching, the searches and their positions, template groups,
// the pre-scan and the removal of marked lines.  Each case feeds a file
// through replace_inf_file with an edit made of engine operations.
#include "inf_fixtures.h"

namespace {

using namespace fx;
using namespace std::string_literals;

// Two small groups of the tests' own, so that every outcome is visible.
char rows_a[2 * 24];
const char* const text_a[] = {"[Added];Tamrix\n", "Added=1;Tamrix\n"};
uint32_t lengths_a[2];
template_group group_a = {rows_a, 24, 2, text_a, lengths_a};
char rows_b[24];
const char* const text_b[] = {"Other=2;Tamrix\n"};
uint32_t lengths_b[1];
template_group group_b = {rows_b, 24, 1, text_b, lengths_b};
template_group* const both_groups[] = {&group_a, &group_b};

const std::string kA = dos("[Added];Tamrix\nAdded=1;Tamrix\n");
const std::string kA1 = dos("[Added];Tamrix\n");
const std::string kA2 = dos("Added=1;Tamrix\n");
const std::string kB = dos("Other=2;Tamrix\n");

// One operation of a test edit:
//   U  copy_until_anchor(text)     N  copy_until_anchor(none)
//   H  copy_through_header(text)   M  mark_present(group_a, group_b)
//   A  write_group(group_a)        B  write_group(group_b)
//   S  strip_marked_lines()
struct step {
    char op;
    const char* text;
};
const step N{'N', nullptr}, M{'M', nullptr}, A{'A', nullptr}, B{'B', nullptr}, S{'S', nullptr};
step U(const char* anchor) { return {'U', anchor}; }
step H(const char* header) { return {'H', header}; }

class engine_test : public inf_test {
protected:
    // Runs the steps over `input` (the bytes of machine.inf); the results of
    // U, N and H are recorded as T or F in `results`.
    std::string edit(const std::string& input, const std::vector<step>& steps, std::string* results = nullptr) {
        std::string got;
        script() = [&] {
            rearm_group(&group_a);
            rearm_group(&group_b);
            for (const step& s : steps) {
                switch (s.op) {
                case 'U': got += copy_until_anchor(s.text) ? 'T' : 'F'; break;
                case 'N': got += copy_until_anchor(nullptr) ? 'T' : 'F'; break;
                case 'H': got += copy_through_header(s.text) ? 'T' : 'F'; break;
                case 'M': mark_present(both_groups, 2); break;
                case 'A': write_group(&group_a); break;
                case 'B': write_group(&group_b); break;
                case 'S': strip_marked_lines(); break;
                }
            }
        };
        std::string out = run(chipset_file, input, scripted_edit);
        script() = nullptr;
        if (results) *results = got;
        return out;
    }
};

struct bytes_case {
    const char* what;
    std::string input;
    std::string expected;
};

// A line of 300 characters (LF included) whose second piece starts with "[S]".
const std::string kSecondPieceAnchor = std::string(254, 'x') + padded("[S]", 46, 'y');

// ---- text mode: what a plain copy reads and writes ------------------------------

TEST_F(engine_test, copy_translates_line_ends_and_stops_at_ctrl_z) {
    const bytes_case cases[] = {
        {"empty file", "", ""},
        {"CR LF kept", "A\r\nB\r\n", "A\r\nB\r\n"},
        {"LF only becomes CR LF", "A\nB\n\n", "A\r\nB\r\n\r\n"},
        {"mixed line ends", "A\r\nB\nC\r\n\nD\n", "A\r\nB\r\nC\r\n\r\nD\r\n"},
        {"lone CR kept inside a line", "A\rB\r\nC\r\n", "A\rB\r\nC\r\n"},
        {"lone CR at the end kept", "A\r\nB\r", "A\r\nB\r"},
        {"CR before CR LF kept", "A\r\r\nB\r\n", "A\r\r\nB\r\n"},
        {"no final line end", "A\r\nB", "A\r\nB"},
        {"Ctrl-Z in the middle ends the input", "A\r\nB\x1a" "C\r\nD\r\n", "A\r\nB"},
        {"Ctrl-Z at the end dropped", "A\r\nB\r\n\x1a", "A\r\nB\r\n"},
        {"Ctrl-Z first: nothing", "\x1a" "A\r\n", ""},
        {"Ctrl-Z between CR and LF", "A\r\x1a\nB\r\n", "A\r"},
        {"NUL bytes are ordinary", "A\0B\r\n\0\r\nC\0"s, "A\0B\r\n\0\r\nC\0"s},
        {"8-bit bytes unchanged", "; \xE4\xF6\xFC\r\nA\xFF\xFE\x80\n", "; \xE4\xF6\xFC\r\nA\xFF\xFE\x80\r\n"},
        {"line of 254", padded("; a", 254, 'a') + "B\n", dos(padded("; a", 254, 'a') + "B\n")},
        {"line of 255", dos(padded("; b", 255, 'b') + "B\n"), dos(padded("; b", 255, 'b') + "B\n")},
        {"line of 300", padded("; c", 300, 'c') + "B\n", dos(padded("; c", 300, 'c') + "B\n")},
        {"line of 300 without line end", "A\n" + std::string(300, 'd'), "A\r\n" + std::string(300, 'd')},
        {"line of 254 whose CR LF counts as one", std::string(253, 'e') + "\r\n", std::string(253, 'e') + "\r\n"},
        {"Ctrl-Z after 40 characters", std::string(40, 'f') + "\x1a" + std::string(40, 'g') + "\r\n",
         std::string(40, 'f')},
    };
    for (const bytes_case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string results;
        EXPECT_BYTES(c.expected, edit(c.input, {N}, &results));
        EXPECT_EQ("F", results);
    }
}

// ---- strip_marked_lines -------------------------------------------------------------

TEST_F(engine_test, strip_removes_only_lines_that_end_in_the_marker) {
    const bytes_case cases[] = {
        {"empty file", "", ""},
        {"marked line removed", "A\r\nB;Tamrix\r\nC\r\n", "A\r\nC\r\n"},
        {"LF-only marked line removed", "A\nB;Tamrix\nC\n", "A\r\nC\r\n"},
        {"mixed line ends", "A\nB;Tamrix\r\nC\r\nD;Tamrix\n", "A\r\nC\r\n"},
        {"nothing but marked lines", "A;Tamrix\r\nB;Tamrix\r\n", ""},
        {"the marker alone is a marked line", "A\r\n;Tamrix\r\n", "A\r\n"},
        {"lines shorter than the marker kept", "Tamrix\r\n;Tamri\r\n\r\nx\r\n", "Tamrix\r\n;Tamri\r\n\r\nx\r\n"},
        {"marker compared with case", "A;tamrix\r\nB;TAMRIX\r\n", "A;tamrix\r\nB;TAMRIX\r\n"},
        {"text after the marker", "A;Tamrix \r\nB;Tamrix;x\r\n", "A;Tamrix \r\nB;Tamrix;x\r\n"},
        {"marked last line without line end kept", "A\r\nB;Tamrix", "A\r\nB;Tamrix"},
        {"marker followed by a lone CR kept", "A\r\nB;Tamrix\r", "A\r\nB;Tamrix\r"},
        {"marker followed by CR CR LF kept", "B;Tamrix\r\r\nC\r\n", "B;Tamrix\r\r\nC\r\n"},
        {"marker before a lone CR inside the line kept", "A;Tamrix\rB\r\n", "A;Tamrix\rB\r\n"},
        {"leading blanks do not matter", "  \tB;Tamrix\r\nC\r\n", "C\r\n"},
        {"NUL before the marker", "B\0;Tamrix\r\nC\r\n"s, "C\r\n"},
        {"NUL inside the marker", "B;Tam\0rix\r\nC\r\n"s, "B;Tam\0rix\r\nC\r\n"s},
        {"Ctrl-Z hides later lines", "A\r\n\x1a" "B;Tamrix\r\nC\r\n", "A\r\n"},
        {"Ctrl-Z right after the marker", "A\r\nB;Tamrix\x1a\r\n", "A\r\nB;Tamrix"},
        {"marked line of 254 removed", dos(std::string(246, 'a') + ";Tamrix\nC\n"), "C\r\n"},
        {"marked line of 255 kept: its last piece continues it",
         dos(std::string(247, 'a') + ";Tamrix\nC\n"), dos(std::string(247, 'a') + ";Tamrix\nC\n")},
        {"marked line of 300 kept", dos(std::string(292, 'a') + ";Tamrix\nC\n"),
         dos(std::string(292, 'a') + ";Tamrix\nC\n")},
        {"marked line after a line of 255 removed", dos(padded("A", 255, 'a') + "B;Tamrix\nC\n"),
         dos(padded("A", 255, 'a') + "C\n")},
    };
    for (const bytes_case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_BYTES(c.expected, run(chipset_file, c.input, uninstall_inf));
    }
}

// ---- the searches, the copies and where they leave the input -------------------------

struct op_case {
    const char* what;
    std::string input;
    std::vector<step> steps;
    std::string expected;
    const char* results;
};

TEST_F(engine_test, searches_copy_and_position_exactly) {
    const op_case cases[] = {
        {"empty file: every search fails, nothing written", "", {U("[S]"), H("[S]"), N}, "", "FFF"},
        {"anchor: lines before it copied, the anchor read next",
         dos("A\nB\n[S]\nC\n"), {U("[S]"), A, N}, dos("A\nB\n") + kA + dos("[S]\nC\n"), "TF"},
        {"anchor already next: nothing copied, found again",
         dos("[S]\nC\n"), {U("[S]"), U("[S]"), A, N}, kA + dos("[S]\nC\n"), "TTF"},
        {"header copied through, the group follows it",
         dos("A\n[S]\nC\n"), {H("[S]"), A, N}, dos("A\n[S]\n") + kA + dos("C\n"), "TF"},
        {"anchor, then the same header", dos("A\n[S]\nB\n"), {U("[S]"), H("[S]"), A, N},
         dos("A\n[S]\n") + kA + dos("B\n"), "TTF"},
        {"missing text: nothing written, nothing moved",
         dos("A\n[S]\nC\n"), {U("[X]"), H("[X]"), A, N}, kA + dos("A\n[S]\nC\n"), "FFF"},
        {"missing text after a found one: the rest copied once",
         dos("A\n[S]\nC\n"), {U("[S]"), U("[X]"), H("[X]"), N}, dos("A\n[S]\nC\n"), "TFFF"},
        {"text only before the position is not found",
         dos("[S]\nA\n[T]\nB\n"), {U("[T]"), U("[S]"), H("[S]"), A, N}, dos("[S]\nA\n") + kA + dos("[T]\nB\n"),
         "TFFF"},
        {"[VERSION] matches three blanks and [Version]; the copy keeps the blanks",
         dos("; c\n   [Version]\nSignature=x\n"), {H("[VERSION]"), A, N},
         dos("; c\n   [Version]\n") + kA + dos("Signature=x\n"), "TF"},
        {"blanks and tabs before an anchor", dos("A\n \t [S]\nB\n"), {U("[S]"), A, N},
         dos("A\n") + kA + dos(" \t [S]\nB\n"), "TF"},
        {"no other leading byte is skipped", "\v[S]\r\n\f[S]\r\n\r[S]\r\n\0[S]\r\n\xA0[S]\r\n"s,
         {U("[S]"), H("[S]"), N}, "\v[S]\r\n\f[S]\r\n\r[S]\r\n\0[S]\r\n\xA0[S]\r\n"s, "FFF"},
        {"the whole text must begin the line",
         dos("[StringsX\n[Strings\n [String]\n[Strings]X\nA\n"), {U("[Strings]"), A, N},
         dos("[StringsX\n[Strings\n [String]\n") + kA + dos("[Strings]X\nA\n"), "TF"},
        {"letters match in either case", dos("A\n[sYs_Ab]\nB\n"), {U("[SyS_aB]"), A, N},
         dos("A\n") + kA + dos("[sYs_Ab]\nB\n"), "TF"},
        {"only ASCII letters fold", dos("{s]\n[S}\n@[S]\n"), {U("[S]"), N}, dos("{s]\n[S}\n@[S]\n"), "FF"},
        {"backslash is not a bar", dos("%pci|ven_1\n%pci\\ven_2\n"), {U("%PCI\\VEN_"), A, N},
         dos("%pci|ven_1\n") + kA + dos("%pci\\ven_2\n"), "TF"},
        {"8-bit letters do not fold", dos("[\xE4]\n[\xC4]\n"), {U("[\xC4]"), A, N},
         dos("[\xE4]\n") + kA + dos("[\xC4]\n"), "TF"},
        {"header with a comment after it", dos("[S] ; note\nA\n"), {H("[S]"), A, N},
         dos("[S] ; note\n") + kA + dos("A\n"), "TF"},
        {"anchor as an unterminated last line", dos("A\n") + "[S]", {U("[S]"), A, N}, dos("A\n") + kA + "[S]",
         "TF"},
        {"header as an unterminated last line: the group starts a new line", dos("A\n") + "[S]",
         {H("[S]"), A, N}, dos("A\n[S]\n") + kA, "TF"},
        {"group after an unterminated copy starts a new line", "A", {N, A}, dos("A\n") + kA, "F"},
        {"group after a final lone CR starts a new line", "A\r", {N, A}, "A\r" + dos("\n") + kA, "F"},
        {"group first in the file: no line end before it", dos("A\n"), {A, N}, kA + dos("A\n"), "F"},
        {"groups back to back", dos("[S]\nA\n"), {H("[S]"), A, B, N}, dos("[S]\n") + kA + kB + dos("A\n"), "TF"},
        {"positions exact over mixed line ends", "A\nB\r\n[S]\nC\r\n[T]\nD",
         {U("[S]"), A, U("[T]"), B, U("[S]"), N}, dos("A\nB\n") + kA + dos("[S]\nC\n") + kB + dos("[T]\n") + "D",
         "TTFF"},
        {"a lone CR does not end a line", "A\r[S]\r\n[S]\rB\r\n", {U("[S]"), A, N},
         "A\r[S]\r\n" + kA + "[S]\rB\r\n", "TF"},
        {"Ctrl-Z hides what follows it from the searches", "A\r\n\x1a[S]\r\n", {U("[S]"), H("[S]"), N}, "A\r\n",
         "FFF"},
        {"Ctrl-Z inside the anchor line", "A\r\n[S]B\x1a" "C\r\n", {U("[S]"), A, N}, "A\r\n" + kA + "[S]B", "TF"},
        {"NUL is an ordinary byte for matching", "A\0B\r\n[S\0]\r\n[S]\0x\r\n"s, {U("[S]"), A, N},
         "A\0B\r\n[S\0]\r\n"s + kA + "[S]\0x\r\n"s, "TF"},
        {"line of 300 whose first piece is the anchor", dos("A\n" + padded("[S] x", 300, '.') + "B\n"),
         {U("[S]"), A, N}, dos("A\n") + kA + dos(padded("[S] x", 300, '.') + "B\n"), "TF"},
        {"a second piece is never an anchor or a header", dos("A\n" + kSecondPieceAnchor + "B\n"),
         {U("[S]"), H("[S]"), N}, dos("A\n" + kSecondPieceAnchor + "B\n"), "FFF"},
        {"an anchor after a long line", dos("A\n" + kSecondPieceAnchor + "[S]\n"), {U("[S]"), A, N},
         dos("A\n" + kSecondPieceAnchor) + kA + dos("[S]\n"), "TF"},
        {"blanks and anchor in 254 characters", dos("A\n" + blanks(250) + "[S]\n"), {U("[S]"), A, N},
         dos("A\n") + kA + dos(blanks(250) + "[S]\n"), "TF"},
        {"blanks and anchor in the first piece of 255", dos("A\n" + blanks(251) + "[S]\n"), {U("[S]"), A, N},
         dos("A\n") + kA + dos(blanks(251) + "[S]\n"), "TF"},
        {"blanks push the anchor past the first piece (256)", dos("A\n" + blanks(252) + "[S]\n"),
         {U("[S]"), H("[S]"), N}, dos("A\n" + blanks(252) + "[S]\n"), "FFF"},
        {"blanks push the anchor past the first piece (300)", dos("A\n" + blanks(296) + "[S]\n"),
         {U("[S]"), H("[S]"), N}, dos("A\n" + blanks(296) + "[S]\n"), "FFF"},
        {"header of 300: the group follows the whole line", dos(padded("[S] ; ", 300, '=') + "A\n"),
         {H("[S]"), A, N}, dos(padded("[S] ; ", 300, '=')) + kA + dos("A\n"), "TF"},
        {"header of 255: the group follows its line end", dos(padded("[S] ;", 255, '=') + "A\n"),
         {H("[S]"), A, N}, dos(padded("[S] ;", 255, '=')) + kA + dos("A\n"), "TF"},
        {"header of 300 without line end", "A\r\n" + std::string("[S]") + std::string(297, '='),
         {H("[S]"), A, N}, "A\r\n[S]" + std::string(297, '=') + "\r\n" + kA, "TF"},
        {"the pre-scan leaves the input at its start", dos("A\nAdded=1\n"), {M, N, A, B},
         dos("A\nAdded=1\n") + kA1 + kB, "F"},
        {"after the pre-scan, an anchor already next is found again", dos("[S]\nC\n"),
         {M, U("[S]"), U("[S]"), A, N}, kA + dos("[S]\nC\n"), "TTF"},
        {"after the pre-scan, an anchor of 8 characters on an LF-only line", "A\n[SECTIO]\nB\n",
         {M, U("[SECTIO]"), A, N}, dos("A\n") + kA + dos("[SECTIO]\nB\n"), "TF"},
        {"after the pre-scan, a copy from an LF-only empty line", "A\r\n\n[S]\r\nB\r\n",
         {M, H("A"), U("[S]"), B, N}, dos("A\n\n") + kB + dos("[S]\nB\n"), "TTF"},
        {"after the pre-scan, a copy ends at the Ctrl-Z", "A\r\nB\x1a" "C\r\n", {M, N}, "A\r\nB", "F"},
    };
    for (const op_case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string results;
        EXPECT_BYTES(c.expected, edit(c.input, c.steps, &results));
        EXPECT_EQ(c.results, results);
    }
}

// ---- mark_present -------------------------------------------------------------------

TEST_F(engine_test, pre_scan_disables_the_lines_that_the_file_holds) {
    const bytes_case cases[] = {
        {"empty file: nothing disabled", "", kA + kB},
        {"line present", dos("; x\nAdded=1\n"), kA1 + kB},
        {"present with blanks before and text after", dos(" \tAdded=1 ; by hand\n"), kA1 + kB},
        {"present in other letter case", dos("ADDED=1\n"), kA1 + kB},
        {"present with the marker", dos("Added=1;Tamrix\n"), kA1 + kB},
        {"present as an unterminated last line", dos("A\n") + "Added=1", kA1 + kB},
        {"present with a stray CR after it", "Added=1\r\r\n", kA1 + kB},
        {"every line of both groups present", dos("[added]\nOther=2\nA\nAdded=1\n"), ""},
        {"shorter line is not present", dos("Added=\n"), kA + kB},
        {"other text is not present", dos("Added=2\nXAdded=1\n; Added=1\n[Added\n"), kA + kB},
        {"NUL inside the text", "Add\0ed=1\r\n"s, kA + kB},
        {"NUL after the text", "Added=1\0\r\n"s, kA1 + kB},
        {"after a lone CR is not a line start", "X\rAdded=1\r\n", kA + kB},
        {"after Ctrl-Z is never read", "A\r\n\x1a" "Added=1\r\nOther=2\r\n", kA + kB},
        {"in a second piece is not present", dos(std::string(254, 'x') + "Added=1\n"), kA + kB},
        {"blanks and text in 254 characters", dos(blanks(246) + "Added=1\n"), kA1 + kB},
        {"blanks and text in the first piece of 255", dos(blanks(247) + "Added=1\n"), kA1 + kB},
        {"blanks push the text past the first piece", dos(blanks(248) + "Added=1\n"), kA + kB},
        {"first piece of a line of 300", dos(padded("Added=1 ;", 300, '-')), kA1 + kB},
    };
    for (const bytes_case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_BYTES(c.expected, edit(c.input, {M, A, B}));
    }
}

TEST_F(engine_test, second_pre_scan_finds_every_added_line) {
    const std::vector<step> install = {M, H("[S]"), A, U("[T]"), B, N};
    const std::string once = dos("[S]\n") + kA + dos("x\n") + kB + dos("[T]\n");
    EXPECT_BYTES(once, edit(dos("[S]\nx\n[T]\n"), install));
    EXPECT_BYTES(once, edit(once, install));
    EXPECT_BYTES(dos("[S]\nx\n[T]\n"), run(chipset_file, uninstall_inf));
}

// More template lines than the pre-scan's table of 64 holds: those beyond
// it are looked for too.  Rows come in pairs that share their first 7
// characters ("Row=100", "Row=100,b"), as the pre-scan's hash sees them.
TEST_F(engine_test, pre_scan_finds_lines_beyond_its_table_and_of_one_hash) {
    static char rows[100][20];
    static std::vector<std::string> texts;
    static std::vector<const char*> text_pointers;
    static uint32_t lengths[100];
    for (int i = 0; i < 100; i++) texts.push_back("Row=" + std::to_string(100 + i / 2) + (i % 2 ? ",b" : "") + ";Tamrix\n");
    for (const std::string& t : texts) text_pointers.push_back(t.c_str());
    static template_group many = {&rows[0][0], 20, 100, text_pointers.data(), lengths};
    static template_group* const groups[] = {&many};
    std::string expected;
    for (int i = 0; i < 100; i++)
        if (i != 0 && i != 64 && i != 65 && i != 98 && i != 99) expected += dos(texts[i]);
    script() = [&] {
        rearm_group(&many);
        mark_present(groups, 1);
        write_group(&many);
    };
    EXPECT_BYTES(expected, run(chipset_file, dos("Row=149,b\nRow=100 ;x\nRow=132,b\n"), scripted_edit));
    script() = nullptr;
}

// ---- files larger than any read buffer ------------------------------------------------

// Lines of every length from 0 to 320, every seventh one marked; `lf_only`
// leaves out the CR of every other line.
std::string long_text(bool lf_only, bool with_marks, std::string* kept) {
    std::string text;
    for (int n = 0; n < 3000; ++n) {
        std::string line = std::to_string(n) + std::string(n % 321, 'a' + n % 26);
        bool marked_line = with_marks && n % 7 == 3;
        if (marked_line) line += ";Tamrix";
        text += line + (lf_only && n % 2 ? "\n" : "\r\n");
        // A marked line longer than 254 characters, its LF included, ends in
        // a continuation piece and stays.
        if (kept && !(marked_line && line.size() + 1 <= 254)) *kept += line + "\r\n";
    }
    return text;
}

// Plain text after the pre-scan goes from file to file where the system
// copies so, as on Linux, and through the buffers where it does not.
TEST_F(engine_test, large_files_keep_every_byte_and_position) {
    for (bool copies : {true, false}) {
        SCOPED_TRACE(copies ? "copied by the system" : "copied through the buffers");
        scripted::set_copies(copies);
        std::string crlf = long_text(false, false, nullptr);
        EXPECT_BYTES(crlf, edit(long_text(true, false, nullptr), {N}));
        const std::string s = dos("[S]\n"), t = dos("[T]\n");
        EXPECT_BYTES(crlf + kA + s + crlf + kB + t + crlf,
                     edit(crlf + s + crlf + t + crlf, {M, U("[S]"), A, U("[T]"), B, N}));

        // The anchor stands far behind the start: the search runs over the
        // whole file and must come back exactly to it.
        const std::string tail = dos("[S]\nlast\n");
        EXPECT_BYTES(crlf + kA + tail, edit(long_text(true, false, nullptr) + tail, {M, U("[S]"), A, N}));
        EXPECT_BYTES(crlf + dos("[S]\n") + kA + dos("last\n"),
                     edit(long_text(false, false, nullptr) + tail, {H("[S]"), A, N}));

        std::string kept;
        std::string marked_text = long_text(true, true, &kept);
        EXPECT_BYTES(kept, run(chipset_file, marked_text, uninstall_inf));
    }
}

// CR LF pairs at every offset modulo 8, so that one of them straddles the
// edge of any read buffer whose size is a multiple of 8.
TEST_F(engine_test, line_ends_split_across_read_buffers) {
    for (int shift = 0; shift < 8; ++shift) {
        SCOPED_TRACE(shift);
        std::string text = std::string(shift, 'p');
        for (int n = 0; n < 12000; ++n) text += "abcdef\r\n";
        EXPECT_BYTES(text, edit(text, {N}));
        EXPECT_BYTES(text + kA + dos("[S]\n"), edit(text + dos("[S]\n"), {U("[S]"), A, N}));
    }
}

// ---- the edges of the input buffer ------------------------------------------------------

// Comment lines of exactly `length` bytes (at least 3), so that what follows
// them starts at that offset.
std::string filler(size_t length) {
    std::string text;
    while (length - text.size() > 128) text += std::string(62, ';') + "\r\n";
    return text + std::string(length - text.size() - 2, ';') + "\r\n";
}

struct edge_case {
    const char* what;
    size_t offset;  // where `tail` starts, after filler lines
    std::string tail;
    std::vector<step> steps;
    std::string expected;  // what the output holds after the filler
    const char* results;
};

// A few bytes where a line meets the end of the 64 KiB input buffer, or the
// end of the file: the scans must take in the next buffer first.
TEST_F(engine_test, lines_at_the_buffer_end_and_the_file_end) {
    const size_t kBufferEnd = 65536;
    const edge_case cases[] = {
        {"a header whose CR is the buffer's last byte keeps its one CR", kBufferEnd - 10,
         "[Strings]\r\nA\r\n", {M, H("[Strings]"), A, N}, "[Strings]\r\n" + kA + "A\r\n", "TF"},
        {"a marked line of 253 characters whose CR LF straddles the buffer end is removed",
         kBufferEnd - 254, std::string(246, 'a') + ";Tamrix\r\nC\r\n", {S}, "C\r\n", ""},
        {"one character more and it is two pieces: kept", kBufferEnd - 255,
         std::string(247, 'a') + ";Tamrix\r\nC\r\n", {S}, std::string(247, 'a') + ";Tamrix\r\nC\r\n", ""},
        {"a template line across the buffer end is present", kBufferEnd - 4, "Added=1\r\n", {M, N, A},
         "Added=1\r\n" + kA1, "F"},
        {"a header across the buffer end, cut by the file's end, is the next section", kBufferEnd - 5,
         "[SIS.Section]", {M, U("["), A, N}, kA + "[SIS.Section]", "TF"},
    };
    for (const edge_case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string results;
        EXPECT_BYTES(filler(c.offset) + c.expected, edit(filler(c.offset) + c.tail, c.steps, &results));
        EXPECT_EQ(c.results, results);
    }
}

}  // namespace
