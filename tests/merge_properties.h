// Properties of the two merges over arbitrary inputs, shared by the
// generator-driven tests (property_tests.cpp) and the fuzz target
// (fuzz/fuzz_merge.cpp).  No GoogleTest here.
//
// For an input and a merge, check_merge writes the input as the target file
// of a real Windows folder and runs the real replace_inf_file three times:
// the merge, the merge again over its own result, and strip_marked_lines over
// that.  It then checks, against small references written here from the
// rules of the line engine (never by asking the engine):
//   - the merged file is the input as text mode normalises it, with whole
//     template lines added at line starts: every input line is there once
//     and in order, and nothing else is;
//   - the lines added are template lines of the merge's groups (from the
//     tests' one copy, fixture_text.h) that the input did not already hold,
//     each once, in table order;
//   - merging the merged file again gives the same bytes;
//   - stripping the merged file gives the normalised input back, less the
//     input's own marked lines.
// Where the merge had to end an unterminated last line before adding lines
// after it, one LF stands between that line and the first added one; the
// checks expect it exactly there and nowhere else.  Where each group goes is
// left to the byte-exact tables of chipset_merge_tests and usb_merge_tests.
#ifndef TAMRIX_TESTS_MERGE_PROPERTIES_H
#define TAMRIX_TESTS_MERGE_PROPERTIES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "fixture_text.h"

namespace props {

enum merge_case { chipset_kind1, chipset_kind2, usb_merge, merge_case_count };
const char* case_name(merge_case which);

// What the inputs checked so far made the merges do, to show that the
// properties were not met only by inputs that leave nothing to check.
struct coverage {
    int inputs = 0;
    int lines_added = 0;     // inputs that got template lines
    int lines_skipped = 0;   // ... and also held some of them already
    int lf_added = 0;        // an LF ended the last line before added lines
    int marked_stripped = 0; // the input held marked lines of its own
    int not_text = 0;        // UTF-16, left alone
};

// "" when every property holds for `input`, else what broke, readably.
std::string check_merge(const std::string& input, merge_case which, coverage* seen = nullptr);

// Shrinks an input that fails check_merge to a small one that still fails.
std::string minimise(const std::string& input, merge_case which);

// A deterministic INF-like input for a seed: sections and anchors of both
// files in any case and order, template lines with and without their marker,
// long lines around the 254-character piece limit, NUL bytes, lone CRs,
// LF-only and CR LF line ends, Ctrl-Z, no final line end, random bytes.
std::string generate_inf(uint64_t seed);

// ---- the text-mode reference -------------------------------------------------------
// What the program reads from a file: CR LF as LF, a lone CR kept, nothing
// from the first Ctrl-Z on.
std::string text_read(const std::string& disk);
// What a text written by the program puts on disk: every LF as CR LF.
std::string text_write(const std::string& text);

// A read of the line engine: at most 254 characters of read text, up to and
// including an LF.  A piece that follows one without LF continues a line.
struct piece {
    std::string text;
    bool continuation;
};
std::vector<piece> pieces_of(const std::string& text);

// Bytes as C-like text, for messages: "\r\n", "\x1a", "\x00".
using fx::escaped;

}  // namespace props

#endif
