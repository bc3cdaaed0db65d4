// The two text streams under the line engine, in_file and out_file.  Inside
// the engine only; the rest of the program sees engine/inf_engine.h.
#ifndef TAMRIX_ENGINE_LINE_STREAMS_H
#define TAMRIX_ENGINE_LINE_STREAMS_H

#include "inf_engine.h"

// One read of the input: a whole line with its LF, or a piece of a longer
// one.  It carries its length, so a NUL byte is an ordinary character.
struct line_piece {
    char text[kPieceLimit + 1];
    uint32_t length;
    bool continuation;  // a later piece of a line longer than kPieceLimit
};

// Where a line starts, so that reading can come back to it.
struct input_position {
    uint32_t offset;  // byte offset in the file
    bool mid_line;    // the piece before it did not end a line
};

// The end-of-input condition: true once a read found no more data (or a
// read failed).  Every loop of the engine runs while it is false.
bool input_ended();

// Empties the piece, then reads up to kPieceLimit characters, stopping after
// an LF.  False when nothing was left to read.
bool read_piece(line_piece* piece);

input_position input_here();
// Goes back (or forward) to a position; clears the end-of-input condition.
void input_go_to(input_position position);

// True when the last piece read did not end its line.
bool input_mid_line();

// Copies the input from here on up to `stop` (to its end when null) straight
// to the output, exactly as reading it piece by piece and writing every
// piece would, but without cutting it into pieces.
void copy_input_to(const input_position* stop);

void write_text(const char* text, uint32_t length);
// True when something has been written and it does not end in LF.
bool output_mid_line();

// ---- the input where it lies ---------------------------------------------------
// The scans that go over a whole file (the pre-scan, the copy up to an
// anchor, Uninstall) look at the buffered bytes in place instead of reading
// them piece by piece.  What they see is what read_piece would deliver:
//   - a line starts at the start of the text and after every LF byte; the
//     translated LF is the LF byte, alone or after a CR;
//   - the text ends at the first Ctrl-Z byte;
//   - before the LF, translated and raw positions agree, so a line's first
//     piece is its first kPieceLimit bytes;
//   - a text without CR, LF or Ctrl-Z (every anchor and template line) reads
//     the same raw as translated, so it matches raw bytes exactly where it
//     matches the line read.

const uint32_t kStreamBufferSize = 65536;
const char kCtrlZ = 0x1A;
// The scans take 64 bytes at a time, the last block reaching past the
// buffered bytes into room kept for it.
const uint32_t kScanBlock = 64;

struct input_stream {
    platform_file handle;  // in_file: the file being edited
    uint32_t base;         // file offset of in_bytes[0]
    uint32_t filled;       // valid bytes in in_bytes
    uint32_t next;         // index of the next unread byte
    bool at_end;           // the end-of-input condition
    bool failed;           // a read failed; stays set
    bool mid_line;         // last piece did not end in LF
    bool file_ended;       // a read found the end of the file
    // Bytes [plain_from, plain_to) of the file, as the pre-scan found them,
    // hold no Ctrl-Z and no LF without a CR in front: a copy of them is
    // the bytes as they stand.
    uint32_t plain_from, plain_to;
};
extern input_stream in;
// The file's byte before in_bytes[0] (NUL where that does not matter), the
// buffer, and the room the last block of a scan reaches into.  Kept apart
// from `in`, whose handle starts as kNoFile: a buffer inside an initialized
// variable would be stored in the exe, all 64 KiB of it.
extern char in_window[1 + kStreamBufferSize + kScanBlock];
// The buffer, with in_bytes[-1] the byte before it: whether an LF at
// index 0 follows a CR is told as for any other.
constexpr char* in_bytes = in_window + 1;

// Reads the next bytes once the buffer is used up (next == filled); false
// at the end of the file or on error.  True at once while bytes are left.
bool fill_input();

// Makes `want` bytes (at most kStreamBufferSize) from `next` on stand in the
// buffer, unless the file ends first: the unread bytes move to its front and
// more are read behind them.  The bytes before `next` are given up.
void fill_input_ahead(uint32_t want);

// What the pre-scan noted about the input no longer holds (line_operations.cpp).
void forget_prescan();

// Writes bytes as they stand: no LF gains a CR.
void write_bytes(const char* data, uint32_t length);

// ---- many bytes at a time -----------------------------------------------------------

const uint64_t kOnes = 0x0101010101010101ull;
const uint64_t kHighBits = 0x8080808080808080ull;

inline uint64_t load_word(const char* bytes) {
    uint64_t word;
    __builtin_memcpy(&word, bytes, 8);
    return word;
}

// True when some byte of the word is below 0x1B: a line end, a Ctrl-Z, a
// tab or another control character.  The classic "has a byte less than n".
inline bool word_may_hold_special(uint64_t word) {
    return ((word - kOnes * ((unsigned char)kCtrlZ + 1)) & ~word & kHighBits) != 0;
}

#endif
