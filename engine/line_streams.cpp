// The input buffer, the copy of its bytes and the output buffer, over the
// platform's byte files.
#include "line_streams.h"
const char kMarker[] = TAMRIX_MARK;
static_assert(sizeof(kMarker) == kMarkerLength + 1, "the marker is 8 characters");

// ---- input -------------------------------------------------------------------
static platform_file in_handle = kNoFile;  // in_file: the file being edited
// The byte before the buffer, then the buffer (apart from in_handle: in an
// initialized variable, all 64 KiB would be stored in the exe).  in_bytes[-1]
// is the byte before in_bytes[0], NUL at the file's start and after a jump,
// so that whether an LF at index 0 follows a CR is told as for any other.
static char in_window[1 + kStreamBufferSize];
char* const in_bytes = in_window + 1;
uint32_t in_base;           // file offset of in_bytes[0]
uint32_t in_filled;         // valid bytes in in_bytes
uint32_t in_next;           // index of the next byte to look at
bool in_noted;              // the pre-scan's notes are of this input
bool in_at_end;             // a scan found the end of the text
bool in_failed;             // a read failed; stays set
static bool in_file_ended;  // a read found the end of the file
bool copying;               // a copy runs: in_bytes[copy_from, in_next) wait to be written
static uint32_t copy_from;  // the first byte that a copy has not written

void attach_input(platform_file file) {
    in_handle = file;
    in_base = in_filled = in_next = 0;
    in_at_end = in_failed = in_file_ended = in_noted = copying = false;
    in_bytes[-1] = '\0';
}

void close_input() {
    if (in_handle != kNoFile) platform_close(in_handle);
    in_handle = kNoFile;
}

bool input_failed() { return in_failed; }
// Reads up to `room` bytes behind the buffered ones; false on error.
static bool read_more(uint32_t room) {
    int32_t count = platform_read(in_handle, in_bytes + in_filled, room);
    // Positions are 32-bit file offsets, as on Windows 95: a file that goes
    // beyond them cannot be edited safely, so it counts as unreadable.
    if (count < 0 || (uint32_t)count > UINT32_MAX - in_base - in_filled) {
        in_failed = true;
        return false;
    }
    if (count == 0) in_file_ended = true;
    in_filled += (uint32_t)count;
    return true;
}

// Gives up the bytes in front of in_next, writing first what a copy has
// not written of them.
static void let_go() {
    if (copying) copy_through(in_next);
    if (in_next > 0) in_bytes[-1] = in_bytes[in_next - 1];
    __builtin_memmove(in_bytes, in_bytes + in_next, in_filled - in_next);
    in_base += in_next;
    in_filled -= in_next;
    in_next = copy_from = 0;
}

void fill_input_ahead(uint32_t want) {
    if (in_filled - in_next >= want || in_failed || in_file_ended) return;
    let_go();
    while (in_filled < want && !in_file_ended)
        if (!read_more(kStreamBufferSize - in_filled)) return;
}

bool fill_input() { fill_input_ahead(1); return in_next < in_filled; }

bool input_is_utf16() {
    fill_input_ahead(2);
    if (in_filled - in_next < 2) return false;
    unsigned char first = (unsigned char)in_bytes[in_next];
    unsigned char second = (unsigned char)in_bytes[in_next + 1];
    return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF);
}

void input_go_to(uint32_t offset) {
    in_at_end = false;
    if (offset >= in_base && offset <= in_base + in_filled) {
        in_next = offset - in_base;  // still in the buffer
        return;
    }
    if (in_failed || !platform_seek(in_handle, offset)) {
        in_failed = true;
        return;
    }
    // A line starts there, never between the CR and the LF of a pair: the
    // byte before it matters to no LF.
    in_base = offset;
    in_filled = in_next = 0;
    in_file_ended = false;
    in_bytes[-1] = '\0';
}

void begin_copy() { copying = true; copy_from = in_next; }
void copy_through(uint32_t to) {
    write_bytes(in_bytes + copy_from, to - copy_from);
    copy_from = to;
}
void skip_to(uint32_t to) { copy_from = to; }
void end_copy() { copy_through(in_next); copying = false; }

// ---- output ------------------------------------------------------------------
static platform_file out_handle = kNoFile;  // out_file: the new text
static char out_buffer[kStreamBufferSize];  // bytes not yet written
static uint32_t out_used;                   // bytes waiting in out_buffer
static bool out_failed;                     // a write failed; stays set
static char out_last;                       // the last character written; LF before the first

void attach_output(platform_file file) {
    out_handle = file;
    out_used = 0;
    out_failed = file == kNoFile;  // it writes nothing, then
    out_last = '\n';
}

static void drain_output() {
    if (out_used > 0 && !out_failed && !platform_write(out_handle, out_buffer, out_used))
        out_failed = true;
    out_used = 0;
}

void write_bytes(const char* data, uint32_t length) {
    if (length > 0) out_last = data[length - 1];
    for (uint32_t part; length > 0; data += part, length -= part) {
        if (out_used == kStreamBufferSize) drain_output();
        part = length < kStreamBufferSize - out_used ? length : kStreamBufferSize - out_used;
        __builtin_memcpy(out_buffer + out_used, data, part);
        out_used += part;
    }
}

bool copy_unread(uint32_t length) {
    if (in_failed) return false;
    copy_through(in_next);  // what waits goes first
    drain_output();
    copy_status copied = copy_not_offered;
    if (!out_failed) copied = platform_copy(in_handle, input_here(), out_handle, length);
    if (copied == copy_not_offered) return false;
    if (copied == copy_failed) out_failed = true;
    input_go_to(input_here() + length);
    copy_from = in_next;
    return true;
}

void write_text(const char* text, uint32_t length) {
    for (uint32_t from = 0, i = 0; i <= length; i++) {
        if (i < length && text[i] != '\n') continue;
        write_bytes(text + from, i - from);
        if (i < length) write_bytes("\r", 1);
        from = i;  // the LF goes out with the next run
    }
}

bool output_mid_line() { return out_last != '\n'; }

bool close_output() {
    if (out_handle == kNoFile) return false;
    drain_output();
    bool ok = !out_failed && platform_flush(out_handle);
    ok = platform_close(out_handle) && ok;
    out_handle = kNoFile;
    return ok;
}
