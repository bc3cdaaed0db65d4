// Buffered text-mode streams over the platform's byte files.
//
// Reading: bytes come from the file through in_bytes; CR LF becomes LF, a
// lone CR stays, and the first Ctrl-Z ends the input for good (it is never
// consumed, so going back and reading again stops at it again).
// Writing: every LF goes out as CR LF through out_buffer.
#include "line_scan.h"

const char kMarker[] = TAMRIX_MARK;
static_assert(sizeof(kMarker) == kMarkerLength + 1, "the marker is 8 characters");

// ---- input -------------------------------------------------------------------

input_stream in = {kNoFile, 0, 0, 0, false, false, false, false, 0, 0};  // in_file as it is read
char in_window[1 + kStreamBufferSize + kScanBlock];  // the input buffer, the byte before it and room

void attach_input(platform_file file) {
    in.handle = file;
    in.base = in.filled = in.next = 0;
    in.at_end = in.failed = in.mid_line = in.file_ended = false;
    in_bytes[-1] = '\0';
    forget_prescan();
}

void close_input() {
    if (in.handle != kNoFile) platform_close(in.handle);
    in.handle = kNoFile;
}

bool input_failed() { return in.failed; }
bool input_ended() { return in.at_end || in.failed; }
bool input_mid_line() { return in.mid_line; }

// Reads up to `room` bytes into bytes[filled...]; false on error.
static bool read_more(uint32_t room) {
    int32_t count = platform_read(in.handle, in_bytes + in.filled, room);
    // Positions are 32-bit file offsets, as on Windows 95: a file that goes
    // beyond them cannot be edited safely, so it counts as unreadable.
    if (count < 0 || (uint32_t)count > UINT32_MAX - in.base - in.filled) {
        in.failed = true;
        return false;
    }
    if (count == 0) in.file_ended = true;
    in.filled += (uint32_t)count;
    return true;
}

bool fill_input() {
    if (in.next < in.filled) return true;
    if (in.failed) return false;
    if (in.filled > 0) in_bytes[-1] = in_bytes[in.filled - 1];
    in.base += in.filled;
    in.filled = in.next = 0;
    return read_more(kStreamBufferSize) && in.filled > 0;
}

void fill_input_ahead(uint32_t want) {
    if (in.filled - in.next >= want || in.failed) return;
    if (in.next > 0) {
        uint32_t keep = in.filled - in.next;
        in_bytes[-1] = in_bytes[in.next - 1];
        __builtin_memmove(in_bytes, in_bytes + in.next, keep);
        in.base += in.next;
        in.filled = keep;
        in.next = 0;
    }
    while (in.filled < want && !in.file_ended)
        if (!read_more(kStreamBufferSize - in.filled)) return;
}

// The next character of the translated text, or -1 where the input ends.
static int next_char() {
    if (!fill_input() || in_bytes[in.next] == kCtrlZ) return -1;
    char c = in_bytes[in.next++];
    if (c == '\r' && fill_input() && in_bytes[in.next] == '\n') {
        in.next++;
        c = '\n';
    }
    return (unsigned char)c;
}

// Bytes that need more than a copy: line ends and the end of the text.  All
// three lie at or below Ctrl-Z, which lets the common case skip the tests.
static bool special_byte(char c) {
    return (unsigned char)c <= (unsigned char)kCtrlZ && (c == '\n' || c == '\r' || c == kCtrlZ);
}

// True when some byte of the word is an LF: "has a zero byte" after the xor.
static bool word_holds_lf(uint64_t word) {
    uint64_t lf_bytes_zero = word ^ (kOnes * '\n');
    return ((lf_bytes_zero - kOnes) & ~lf_bytes_zero & kHighBits) != 0;
}

bool read_piece(line_piece* piece) {
    piece->length = 0;
    piece->continuation = in.mid_line;
    while (piece->length < kPieceLimit) {
        // Plain text goes over as it stands, as far as the buffered bytes
        // and the room left in the piece allow.  Locals, so that the
        // compiler keeps them in registers across the byte stores.  A word
        // with no byte below 0x1B (no line end, no Ctrl-Z, no tab either)
        // is copied whole.
        uint32_t length = piece->length;
        uint32_t next = in.next;
        uint32_t end = in.filled - next < kPieceLimit - length ? in.filled : next + (kPieceLimit - length);
        while (end - next >= 8) {
            uint64_t word = load_word(in_bytes + next);
            if (word_may_hold_special(word)) break;
            __builtin_memcpy(piece->text + length, &word, 8);
            next += 8;
            length += 8;
        }
        while (next < end && !special_byte(in_bytes[next])) piece->text[length++] = in_bytes[next++];
        in.next = next;
        piece->length = length;
        if (piece->length == kPieceLimit) break;
        if (in.next == in.filled) {
            if (fill_input()) continue;
            in.at_end = true;
            break;
        }
        int c = next_char();  // a line end or the end of the text
        if (c < 0) {
            in.at_end = true;
            break;
        }
        piece->text[piece->length++] = (char)c;
        if (c == '\n') break;
    }
    piece->text[piece->length] = '\0';
    if (piece->length == 0) return false;
    in.mid_line = piece->text[piece->length - 1] != '\n';
    return true;
}

bool input_is_utf16() {
    // Reads of a local file come back short only at its end, so a file
    // whose first read holds fewer than two bytes has no byte-order mark.
    if (!fill_input() || in.filled - in.next < 2) return false;
    unsigned char first = (unsigned char)in_bytes[in.next];
    unsigned char second = (unsigned char)in_bytes[in.next + 1];
    return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF);
}

input_position input_here() {
    return input_position{in.base + in.next, in.mid_line};
}

void input_go_to(input_position position) {
    in.at_end = false;
    in.mid_line = position.mid_line;
    if (position.offset >= in.base && position.offset <= in.base + in.filled) {
        in.next = position.offset - in.base;  // still in the buffer
        return;
    }
    if (in.failed) return;
    if (!platform_seek(in.handle, position.offset)) {
        in.failed = true;
        return;
    }
    // A position is where a piece starts, and no piece starts between the
    // CR and the LF of a pair: the byte before it matters to no LF.
    in.base = position.offset;
    in.filled = in.next = 0;
    in.file_ended = false;
    in_bytes[-1] = '\0';
}

// ---- output ------------------------------------------------------------------

// The output stream.  Its buffer stands apart, as in_window does: inside
// an initialized variable it would be stored in the exe.
struct output_stream {
    platform_file handle;  // out_file: the new text
    uint32_t used;         // bytes waiting in out_buffer
    bool failed;           // a write failed; stays set
    bool written;          // anything written at all
    char last;             // the last character written
};
static output_stream out = {kNoFile, 0, false, false, '\0'};  // out_file as it is written
static char out_buffer[kStreamBufferSize];  // the bytes not yet written

void attach_output(platform_file file) {
    out = output_stream{file, 0, false, false, '\0'};
}

// A stream that has failed writes nothing more; close_output, with no file,
// gives false.
void attach_no_output() { out = output_stream{kNoFile, 0, true, false, '\0'}; }

static void drain_output() {
    if (out.used > 0 && !out.failed && !platform_write(out.handle, out_buffer, out.used))
        out.failed = true;
    out.used = 0;
}

void write_text(const char* text, uint32_t length) {
    if (length == 0) return;
    out.written = true;
    out.last = text[length - 1];
    // In chunks that fit the buffer even when every byte is an LF.
    const uint32_t kChunk = kStreamBufferSize / 2;
    while (length > 0) {
        uint32_t chunk = length < kChunk ? length : kChunk;
        if (out.used + 2 * chunk > kStreamBufferSize) drain_output();
        uint32_t used = out.used;
        uint32_t i = 0;
        for (; chunk - i >= 8; i += 8, used += 8) {
            uint64_t word = load_word(text + i);
            if (word_holds_lf(word)) break;
            __builtin_memcpy(out_buffer + used, &word, 8);
        }
        for (; i < chunk; i++) {
            if (text[i] == '\n') out_buffer[used++] = '\r';
            out_buffer[used++] = text[i];
        }
        out.used = used;
        text += chunk;
        length -= chunk;
    }
}

void write_bytes(const char* data, uint32_t length) {
    if (length == 0) return;
    out.written = true;
    out.last = data[length - 1];
    // A long run of input (most of a buffer, where lines end in CR LF) goes
    // out from where it lies, after what waits in front of it.
    if (length >= kStreamBufferSize / 4) {
        drain_output();
        if (!out.failed && !platform_write(out.handle, data, length)) out.failed = true;
        return;
    }
    if (length > kStreamBufferSize - out.used) drain_output();
    __builtin_memcpy(out_buffer + out.used, data, length);
    out.used += length;
}

// Copies the input up to file offset `limit`, or up to the text's end
// before it.  `looks` false: the bytes are known plain, and go over unread.
static void copy_stretch(uint32_t limit, bool looks) {
    line_scan scan;
    begin_scan(&scan, kNoWindow, true, looks, limit);
    while (next_stop(&scan) != stopped_for_good) continue;
}

void copy_input_to(const input_position* stop) {
    uint32_t stop_offset = stop != nullptr ? stop->offset : UINT32_MAX;
    // Text mode on both sides leaves CR LF as it is and a lone CR too; only
    // an LF that does not follow a CR gains one.  What the pre-scan found
    // plain goes over unread, between the parts that are looked at.
    if (in.base + in.next < in.plain_from)
        copy_stretch(stop_offset < in.plain_from ? stop_offset : in.plain_from, true);
    uint32_t here = in.base + in.next;
    if (!input_ended() && here >= in.plain_from && here < in.plain_to)
        copy_stretch(stop_offset < in.plain_to ? stop_offset : in.plain_to, false);
    if (!input_ended()) copy_stretch(stop_offset, true);
    if (stop == nullptr)
        in.at_end = true;
    else if (!input_ended())
        in.mid_line = stop->mid_line;
}

bool output_mid_line() { return out.written && out.last != '\n'; }

bool close_output() {
    if (out.handle == kNoFile) return false;
    drain_output();
    bool ok = !out.failed;
    if (ok && !platform_flush(out.handle)) ok = false;
    if (!platform_close(out.handle)) ok = false;
    out.handle = kNoFile;
    return ok;
}
