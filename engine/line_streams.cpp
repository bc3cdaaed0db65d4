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
const uint32_t kStreamBufferSize = 16384;

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

bool read_piece(line_piece* piece) {
    piece->length = 0;
    piece->continuation = in_mid_line;
    while (piece->length < kPieceLimit) {
        int c = next_char();
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

static void put_byte(char c) {
    if (out_used == kStreamBufferSize) drain_output();
    out_buffer[out_used++] = c;
}

void write_text(const char* text, uint32_t length) {
    for (uint32_t i = 0; i < length; i++) {
        if (text[i] == '\n') put_byte('\r');
        put_byte(text[i]);
    }
    if (length > 0) {
        out_written = true;
        out_last = text[length - 1];
    }
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
