// The line scans, the middle of the engine's three layers: they walk the
// input line by line where it lies in the buffer of line_streams.h, and see
// what reading it in pieces of kPieceLimit characters would deliver:
//   - a line starts at the start of the text and after every LF byte; the
//     translated LF is the LF byte, alone or after a CR;
//   - the text ends at the first Ctrl-Z byte;
//   - before the LF, translated and raw positions agree, so a line's first
//     piece is its first kPieceLimit bytes;
//   - a text without CR, LF or Ctrl-Z (every anchor and template line)
//     matches the raw bytes exactly where it matches the piece read.
// Inside the engine only.
#ifndef TAMRIX_ENGINE_LINE_SCAN_H
#define TAMRIX_ENGINE_LINE_SCAN_H

#include "line_streams.h"

// A line's start where it lies: its first piece is in_bytes[start, end),
// but for the LF, cut at kPieceLimit bytes.
struct line_head {
    uint32_t start;  // the line's first byte
    uint32_t end;    // its LF or the Ctrl-Z that ends the text, or the end of what was looked at
    bool lf;         // in_bytes[end] is the line's LF
};
// Makes the first kPieceLimit + 1 bytes of the line that starts here stand
// in the buffer, or all the file holds, and tells where they are.  False,
// with the input ended, when the text ends first.
bool head_of_line(line_head* head);
// Passes the line, its LF included, or up to the end of the text.  In a
// copy, an LF that lacks a CR gains one.
void pass_line(const line_head* head);
// Whether the line text (the first piece less its leading blanks and tabs)
// begins with text[0, length), ignoring ASCII case; whether the line is one
// piece that ends in kMarker.
bool line_begins_with(const line_head* head, const char* text, uint32_t length);
bool line_is_marked(const line_head* head);

// Hands each line of the text, from its start, to `see` with its line text
// and the file offset where it starts, and passes it, writing nothing.
// Notes on the way where the text is plain: from the last LF that lacks a
// CR to the end of the text, no LF lacks one and no Ctrl-Z stands.  While
// in_noted, a copy writes plain text as it stands without looking at it.
typedef void line_seer(const char* text, uint32_t length, uint32_t line_start);
void see_every_line(line_seer* see);

// Copies the input from here on up to the line that starts at `stop`, or to
// the end of the text, as reading it in pieces and writing every piece
// would: CR LF and a lone CR as they stand, an LF alone as CR LF.
const uint32_t kEndOfText = UINT32_MAX;
void copy_input_to(uint32_t stop);

#endif
