// Buffered text-mode streams over the platform's byte files.
//
// Reading: bytes come from the file through in_buffer; CR LF becomes LF, a
// lone CR stays, and the first Ctrl-Z ends the input for good (it is never
// consumed, so going back and reading again stops at it again).
// Writing: every LF goes out as CR LF through out_buffer.
#include "line_streams.h"

const char kMarker[] = TAMRIX_MARK;
static_assert(sizeof(kMarker) == kMarkerLength + 1, "the marker is 8 characters");

const char kCtrlZ = 0x1A;
const uint32_t kStreamBufferSize = 65536;

// ---- input -------------------------------------------------------------------

static platform_file in_handle = kNoFile;  // in_file: the file being edited
static char in_buffer[kStreamBufferSize];  // bytes of the file from in_base on
static uint32_t in_base;                   // file offset of in_buffer[0]
static uint32_t in_filled;                 // valid bytes in in_buffer
static uint32_t in_next;                   // index of the next unread byte
static bool in_at_end;                     // the end-of-input condition
static bool in_failed;                     // a read failed; stays set
static bool in_mid_line;                   // last piece did not end in LF

void attach_input(platform_file file) {
    in_handle = file;
    in_base = in_filled = in_next = 0;
    in_at_end = in_failed = in_mid_line = false;
}

void close_input() {
    if (in_handle != kNoFile) platform_close(in_handle);
    in_handle = kNoFile;
}

bool input_failed() { return in_failed; }
bool input_ended() { return in_at_end || in_failed; }
bool input_mid_line() { return in_mid_line; }

// Makes in_buffer[in_next] valid; false at the end of the file or on error.
static bool fill_input() {
    if (in_next < in_filled) return true;
    if (in_failed) return false;
    in_base += in_filled;
    in_filled = in_next = 0;
    int32_t count = platform_read(in_handle, in_buffer, kStreamBufferSize);
    if (count < 0) {
        in_failed = true;
        return false;
    }
    // Positions are 32-bit file offsets, as on Windows 95: a file that goes
    // beyond them cannot be edited safely, so it counts as unreadable.
    if ((uint32_t)count > UINT32_MAX - in_base) {
        in_failed = true;
        return false;
    }
    in_filled = (uint32_t)count;
    return count > 0;
}

// The next character of the translated text, or -1 where the input ends.
static int next_char() {
    if (!fill_input() || in_buffer[in_next] == kCtrlZ) return -1;
    char c = in_buffer[in_next++];
    if (c == '\r' && fill_input() && in_buffer[in_next] == '\n') {
        in_next++;
        c = '\n';
    }
    return (unsigned char)c;
}

// Bytes that need more than a copy: line ends and the end of the text.  All
// three lie at or below Ctrl-Z, which lets the common case skip the tests.
static bool special_byte(char c) {
    return (unsigned char)c <= (unsigned char)kCtrlZ && (c == '\n' || c == '\r' || c == kCtrlZ);
}

// Eight bytes at a time: most of a line is plain text, and a word with no
// byte below 0x1B (no line end, no Ctrl-Z, no tab either) can be copied
// whole.  The test is the classic "has a byte less than n" bit trick.
const uint64_t kOnes = 0x0101010101010101ull;
const uint64_t kHighBits = 0x8080808080808080ull;

static bool word_may_hold_special(uint64_t word) {
    return ((word - kOnes * ((unsigned char)kCtrlZ + 1)) & ~word & kHighBits) != 0;
}

static bool word_holds_lf(uint64_t word) {
    uint64_t lf_bytes_zero = word ^ (kOnes * '\n');
    return ((lf_bytes_zero - kOnes) & ~lf_bytes_zero & kHighBits) != 0;
}

bool read_piece(line_piece* piece) {
    piece->length = 0;
    piece->continuation = in_mid_line;
    while (piece->length < kPieceLimit) {
        // Plain text goes over as it stands, as far as the buffered bytes
        // and the room left in the piece allow.  Locals, so that the
        // compiler keeps them in registers across the byte stores.
        uint32_t length = piece->length;
        uint32_t next = in_next;
        uint32_t end = in_filled - next < kPieceLimit - length ? in_filled : next + (kPieceLimit - length);
        while (end - next >= 8) {
            uint64_t word;
            __builtin_memcpy(&word, in_buffer + next, 8);
            if (word_may_hold_special(word)) break;
            __builtin_memcpy(piece->text + length, &word, 8);
            next += 8;
            length += 8;
        }
        while (next < end && !special_byte(in_buffer[next])) piece->text[length++] = in_buffer[next++];
        in_next = next;
        piece->length = length;
        if (piece->length == kPieceLimit) break;
        if (in_next == in_filled) {
            if (fill_input()) continue;
            in_at_end = true;
            break;
        }
        int c = next_char();  // a line end or the end of the text
        if (c < 0) {
            in_at_end = true;
            break;
        }
        piece->text[piece->length++] = (char)c;
        if (c == '\n') break;
    }
    piece->text[piece->length] = '\0';
    if (piece->length == 0) return false;
    in_mid_line = piece->text[piece->length - 1] != '\n';
    return true;
}

bool input_is_utf16() {
    // Reads of a local file come back short only at its end, so a file
    // whose first read holds fewer than two bytes has no byte-order mark.
    if (!fill_input() || in_filled - in_next < 2) return false;
    unsigned char first = (unsigned char)in_buffer[in_next];
    unsigned char second = (unsigned char)in_buffer[in_next + 1];
    return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF);
}

input_position input_here() {
    return input_position{in_base + in_next, in_mid_line};
}

void input_go_to(input_position position) {
    in_at_end = false;
    in_mid_line = position.mid_line;
    if (position.offset >= in_base && position.offset <= in_base + in_filled) {
        in_next = position.offset - in_base;  // still in the buffer
        return;
    }
    if (in_failed) return;
    if (!platform_seek(in_handle, position.offset)) {
        in_failed = true;
        return;
    }
    in_base = position.offset;
    in_filled = in_next = 0;
}

// ---- output ------------------------------------------------------------------

static platform_file out_handle = kNoFile;  // out_file: the new text
static char out_buffer[kStreamBufferSize];  // bytes not yet written
static uint32_t out_used;                   // bytes waiting in out_buffer
static bool out_failed;                     // a write failed; stays set
static bool out_written;                    // anything written at all
static char out_last;                       // last character written

void attach_output(platform_file file) {
    out_handle = file;
    out_used = 0;
    out_failed = out_written = false;
    out_last = '\0';
}

static void drain_output() {
    if (out_used > 0 && !out_failed && !platform_write(out_handle, out_buffer, out_used))
        out_failed = true;
    out_used = 0;
}

void write_text(const char* text, uint32_t length) {
    if (length == 0) return;
    out_written = true;
    out_last = text[length - 1];
    // In chunks that fit the buffer even when every byte is an LF.
    const uint32_t kChunk = kStreamBufferSize / 2;
    while (length > 0) {
        uint32_t chunk = length < kChunk ? length : kChunk;
        if (out_used + 2 * chunk > kStreamBufferSize) drain_output();
        uint32_t used = out_used;
        uint32_t i = 0;
        for (uint64_t word; chunk - i >= 8; i += 8, used += 8) {
            __builtin_memcpy(&word, text + i, 8);
            if (word_holds_lf(word)) break;
            __builtin_memcpy(out_buffer + used, &word, 8);
        }
        for (; i < chunk; i++) {
            if (text[i] == '\n') out_buffer[used++] = '\r';
            out_buffer[used++] = text[i];
        }
        out_used = used;
        text += chunk;
        length -= chunk;
    }
}

void copy_input_to(const input_position* stop) {
    uint32_t stop_offset = stop != nullptr ? stop->offset : UINT32_MAX;
    // Text mode on both sides leaves CR LF as it is and a lone CR too; only
    // an LF that does not follow a CR gains one.  No piece starts between
    // the CR and the LF of a pair, so the copy starts after no CR.
    char previous = '\0';
    while (in_base + in_next < stop_offset && fill_input()) {
        uint32_t end = stop_offset - in_base < in_filled ? stop_offset - in_base : in_filled;
        uint32_t next = in_next;
        uint32_t used = out_used;
        while (next < end) {
            if (used + 16 > kStreamBufferSize) {
                out_used = used;
                drain_output();
                used = 0;
            }
            uint64_t word;
            if (end - next >= 8) {
                __builtin_memcpy(&word, in_buffer + next, 8);
                if (!word_may_hold_special(word)) {
                    __builtin_memcpy(out_buffer + used, &word, 8);
                    next += 8;
                    used += 8;
                    previous = in_buffer[next - 1];
                    continue;
                }
            }
            char c = in_buffer[next];
            if (c == kCtrlZ) break;
            if (c == '\n' && previous != '\r') out_buffer[used++] = '\r';
            out_buffer[used++] = c;
            previous = c;
            next++;
        }
        if (next > in_next) {
            out_written = true;
            out_last = previous;
        }
        out_used = used;
        in_next = next;
        if (next < end) {  // Ctrl-Z: the text ends here for good
            in_at_end = true;
            return;
        }
    }
    if (stop == nullptr || input_failed()) {
        in_at_end = true;
        return;
    }
    in_mid_line = stop->mid_line;
}

bool output_mid_line() { return out_written && out_last != '\n'; }

bool close_output() {
    if (out_handle == kNoFile) return false;
    drain_output();
    bool ok = !out_failed;
    if (ok && !platform_flush(out_handle)) ok = false;
    if (!platform_close(out_handle)) ok = false;
    out_handle = kNoFile;
    return ok;
}
