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

struct input_stream {
    platform_file handle;  // in_file: the file being edited
    uint32_t base;         // file offset of bytes[0]
    uint32_t filled;       // valid bytes in bytes
    uint32_t next;         // index of the next unread byte
    bool at_end;           // the end-of-input condition
    bool failed;           // a read failed; stays set
    bool mid_line;         // last piece did not end in LF
    bool file_ended;       // a read found the end of the file
    char byte_before;      // the file's byte before bytes[0], or NUL
    char bytes[kStreamBufferSize];
};
extern input_stream in;

// Reads the next bytes once the buffer is used up (next == filled); false
// at the end of the file or on error.  True at once while bytes are left.
bool fill_input();

// Makes `want` bytes (at most kStreamBufferSize) from `next` on stand in the
// buffer, unless the file ends first: the unread bytes move to its front and
// more are read behind them.  The bytes before `next` are given up.
void fill_input_ahead(uint32_t want);

// What the pre-scan noted about the input no longer holds (line_operations.cpp).
void forget_prescan();

// A line's first piece and the CR LF after it.
const uint32_t kLineWindow = kPieceLimit + 2;

// Writes bytes as they stand: no LF gains a CR.
void write_bytes(const char* data, uint32_t length);

// True when the LF at bytes[index] does not follow a CR.
inline bool lf_is_bare(uint32_t index) {
    return (index > 0 ? in.bytes[index - 1] : in.byte_before) != '\r';
}

// ---- eight bytes at a time ---------------------------------------------------------

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

// The high bit of each zero byte; the lowest one set is exact (the bits
// above it may be set by the borrow).
inline uint64_t zero_bytes(uint64_t word) { return (word - kOnes) & ~word & kHighBits; }

// The index of the lowest byte whose flag is set, for flags not 0.  Where
// words are 32 bits wide, in halves: a 64-bit count would be a library call.
inline uint32_t lowest_flagged_byte(uint64_t flags) {
#if UINTPTR_MAX > 0xFFFFFFFFu
    return (uint32_t)__builtin_ctzll(flags) / 8;
#else
    uint32_t low = (uint32_t)flags;
    return low != 0 ? (uint32_t)__builtin_ctz(low) / 8 : 4 + (uint32_t)__builtin_ctz((uint32_t)(flags >> 32)) / 8;
#endif
}

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the word scans take the first byte of a word as its lowest"
#endif

// The index of the first LF or Ctrl-Z in bytes[from, end), or end.  Where
// the processor has SSE2 (every x86-64), sixteen bytes at a time.
#if defined(__SSE2__)
typedef char byte_vector __attribute__((vector_size(16)));
#define TAMRIX_SIXTEEN(c) {c, c, c, c, c, c, c, c, c, c, c, c, c, c, c, c}
#endif

inline uint32_t find_line_end(const char* bytes, uint32_t from, uint32_t end) {
    uint32_t i = from;
#if defined(__SSE2__)
    const byte_vector lfs = TAMRIX_SIXTEEN('\n');
    const byte_vector ctrl_zs = TAMRIX_SIXTEEN(kCtrlZ);
    for (; end - i >= 16; i += 16) {
        byte_vector chunk;
        __builtin_memcpy(&chunk, bytes + i, 16);
        int hits = __builtin_ia32_pmovmskb128((byte_vector)((chunk == lfs) | (chunk == ctrl_zs)));
        if (hits != 0) return i + (uint32_t)__builtin_ctz((unsigned)hits);
    }
#endif
    for (; end - i >= 8; i += 8) {
        uint64_t word = load_word(bytes + i);
        if (!word_may_hold_special(word)) continue;
        uint64_t hits = zero_bytes(word ^ (kOnes * '\n')) | zero_bytes(word ^ (kOnes * kCtrlZ));
        if (hits != 0) return i + lowest_flagged_byte(hits);
    }
    for (; i < end; i++)
        if (bytes[i] == '\n' || bytes[i] == kCtrlZ) return i;
    return end;
}

#endif
