// The line scans over the input buffer.
#include "line_scan.h"

#include "text.h"

// The index of the first LF or Ctrl-Z (the bytes that bit 4 set makes
// 0x1A) in in_bytes[from, to), or `to`.  With SSE2 (every x86-64), 32 bytes
// at a time; byte by byte (the Pentium of the Windows build), the install
// of the 10 MB file of bench/process_bench.sh takes 4 times the
// instructions (bench/instruction_bench.sh), 2.8 times cp against 1.9.
static uint32_t find_line_end(uint32_t from, uint32_t to) {
    const char* bytes = in_bytes;
#if defined(__SSE2__)
    typedef char byte_vector __attribute__((vector_size(16)));
    const byte_vector bit_4 = {16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
    const byte_vector ctrl_zs = bit_4 + (kCtrlZ - 16);
    for (; to - from >= 32; from += 32) {
        byte_vector low, high;
        __builtin_memcpy(&low, bytes + from, 16);
        __builtin_memcpy(&high, bytes + from + 16, 16);
        uint32_t hits = (uint32_t)__builtin_ia32_pmovmskb128((low | bit_4) == ctrl_zs) |
                        (uint32_t)__builtin_ia32_pmovmskb128((high | bit_4) == ctrl_zs) << 16;
        if (hits != 0) return from + (uint32_t)__builtin_ctz(hits);
    }
#endif
    while (from < to && (bytes[from] | 0x10) != kCtrlZ) from++;
    return from;
}

const uint32_t kWindow = kPieceLimit + 1;  // a line of one piece, its CR LF included
static uint32_t bare_lf_end;  // the file offset after the last LF without a CR passed
static uint32_t plain_from;   // bare_lf_end at the end of the text, when every line was seen
static uint32_t plain_to;     // where every line was seen to end

// Passes the LF at index `lf`, which in a copy gains a CR where it has
// none in front (in_bytes[-1] being the byte before the buffer).
static void pass_lf(uint32_t lf) {
    if ((in_bytes + lf)[-1] != '\r') {
        bare_lf_end = in_base + lf + 1;
        if (copying) {
            copy_through(lf);
            write_bytes("\r", 1);
        }
    }
    in_next = lf + 1;
}

// The line text of the line's first piece in_bytes[start, end) (its LF,
// or the end of what was looked at), and its length.
static const char* line_text(uint32_t start, uint32_t end, uint32_t* length) {
    if (end - start > kPieceLimit) end = start + kPieceLimit;
    while (start < end && (in_bytes[start] == ' ' || in_bytes[start] == '\t')) start++;
    *length = end - start;
    return in_bytes + start;
}

// Passes the bytes up to the next LF before index `to`, the LF included,
// or up to `to`; at a Ctrl-Z the text ends.  True when it passed an LF.
static bool pass_to_lf(uint32_t to) {
    uint32_t end = find_line_end(in_next, to);
    if (end < to && in_bytes[end] == '\n') {
        pass_lf(end);
        return true;
    }
    in_next = end;
    if (end < to) in_at_end = true;
    return false;
}

bool head_of_line(line_head* head) {
    if (in_filled - in_next < kWindow) fill_input_ahead(kWindow);
    if (input_ended() || in_next == in_filled || in_bytes[in_next] == kCtrlZ) {
        in_at_end = true;
        return false;
    }
    uint32_t looked_at = in_filled - in_next < kWindow ? in_filled : in_next + kWindow;
    head->start = in_next;
    head->end = find_line_end(in_next, looked_at);
    head->lf = head->end < looked_at && in_bytes[head->end] == '\n';
    return true;
}

void pass_line(const line_head* head) {
    if (head->lf) return pass_lf(head->end);
    in_next = head->end;  // a line longer than a piece, or the last one, cut off
    while (!in_at_end && fill_input())
        if (pass_to_lf(in_filled)) return;
    in_at_end = true;
}

bool line_begins_with(const line_head* head, const char* text, uint32_t length) {
    uint32_t count;
    const char* bytes = line_text(head->start, head->end, &count);
    return count >= length && same_text_ignoring_case(bytes, text, length);
}

bool line_is_marked(const line_head* head) {
    if (!head->lf) return false;
    uint32_t end = head->end;
    if (end > head->start && in_bytes[end - 1] == '\r') end--;  // CR LF reads as one LF
    // The line with its LF: at most one piece, at least the marker.
    if (end - head->start + 1 > kPieceLimit || end - head->start + 1 < kMarkerLength) return false;
    for (uint32_t i = 0; i < kMarkerLength - 1; i++)
        if (in_bytes[end - (kMarkerLength - 1) + i] != kMarker[i]) return false;
    return true;
}

void see_every_line(line_seer* see) {
    input_go_to(0);
    bare_lf_end = 0;
    for (line_head head;;) {
        // The lines that stand in the buffer with their LF within a piece
        // (most) in a loop of their own: through head_of_line and pass_line
        // instead, 29% more instructions at 10 MB, 1.94 times cp, not 1.89.
        while (!input_ended() && in_filled - in_next >= kWindow && in_bytes[in_next] != kCtrlZ) {
            uint32_t start = in_next, end = find_line_end(start, start + kWindow), length;
            if (end == start + kWindow || in_bytes[end] != '\n') break;
            const char* text = line_text(start, end, &length);
            see(text, length, in_base + start);
            pass_lf(end);
        }
        if (!head_of_line(&head)) break;
        uint32_t length;
        const char* text = line_text(head.start, head.end, &length);
        see(text, length, in_base + head.start);
        pass_line(&head);
    }
    plain_from = bare_lf_end;
    plain_to = input_here();
}

void copy_input_to(uint32_t stop) {
    begin_copy();
    while (!input_ended() && input_here() < stop && fill_input()) {
        uint32_t to = stop - in_base < in_filled ? stop - in_base : in_filled;
        uint32_t plain_end = plain_to < stop ? plain_to : stop;
        if (!in_noted || input_here() < plain_from || input_here() >= plain_to) {
            pass_to_lf(to);
            continue;
        }
        // Plain text is written as it stands, unlooked at (else 2.27 times
        // cp at 10 MB), and unread where it is longer than the buffer: the
        // system copies it from file to file as cp does (else 1.98 times),
        // all but its last byte, so that the output knows what it ends in.
        if (plain_end - input_here() > kStreamBufferSize && copy_unread(plain_end - input_here() - 1))
            continue;
        in_next = plain_end - in_base < to ? plain_end - in_base : to;
    }
    end_copy();
    if (stop == kEndOfText) in_at_end = true;
}
