// The one walk over the input's line ends, for the scans that go over a
// whole file where it lies in the buffer: the pre-scan, the copy up to an
// anchor, the strip (Uninstall) and copy_input_to.  It finds LFs and the
// Ctrl-Z 64 bytes at a time, tells which LF lacks the CR in front that text
// mode writes (and writes it, in a scan that copies), and refills the
// buffer, first moving a line's start to its front where the scan must see
// that many bytes of the line together.  Inside the engine only.
#ifndef TAMRIX_ENGINE_LINE_SCAN_H
#define TAMRIX_ENGINE_LINE_SCAN_H

#include "line_streams.h"

// ---- how many bytes of a line a scan needs together ------------------------------

// A scan that only copies looks at no line as a whole.
const uint32_t kNoWindow = 0;
// A line matches (or is a template line present) by its first piece, and
// before the LF a first piece is the line's first kPieceLimit bytes.
const uint32_t kMatchWindow = kPieceLimit;
// A marked line is one whole piece: at most kPieceLimit characters, its LF
// the last of them; where the LF stands as CR LF, that is one byte more.
const uint32_t kMarkedLineWindow = kPieceLimit + 1;

// ---- the walk ---------------------------------------------------------------------

// Where next_stop stopped.  Indexes are into in_bytes.
enum scan_stop {
    stopped_at_lf,      // an LF at `end` ends the line that starts at `line`
    // A Ctrl-Z at `end` ends that line and the text for good: the next
    // step ends the scan there, in front of it.
    stopped_at_ctrl_z,
    // A line starts at `line` and the buffer ends inside it, at `end`: the
    // bytes [line, end) are all of its first piece that exists (the window,
    // at least, or the file's last line).  Told once for the line.
    stopped_in_line,
    stopped_for_good,  // the limit is reached, or the input ended (in.at_end) or failed
};

struct line_scan {
    uint32_t window;      // a line start with fewer bytes buffered goes to the buffer's front
    bool copies;          // the bytes passed over go to the output, each LF that lacks one gaining a CR
    bool looks;           // false: the bytes are known to hold no LF that lacks a CR, nor a Ctrl-Z
    uint32_t limit;       // the file offset the scan stops at; UINT32_MAX: none
    uint32_t unwritten;   // the first byte not written yet, in a scan that copies
    uint32_t line;        // where the current line (or the part of it in the buffer) starts
    bool line_start;      // `line` is a line's start, not the middle of a line begun earlier
    uint32_t end;         // where the last stop was
    uint32_t next_block;  // the next block of 64 bytes to look at
    uint32_t bytes_end;   // where the bytes to look at end in this buffer: its end, or the limit
    uint64_t block_ends;  // the flags of the last block that are not handed out yet
    bool lf_pending;      // `end` holds an LF that the next step still has to pass
    bool line_told;       // stopped_in_line was told for the line at `line`
    bool text_ended;      // a Ctrl-Z was found: the limit is where it stands
    // The file offset after the last LF that lacks a CR (0: none yet): a
    // copy of the text from there on is the bytes as they stand.
    uint32_t plain_from;
};

// Starts a scan at the next unread byte.
void begin_scan(line_scan* scan, uint32_t window, bool copies, bool looks, uint32_t limit);

// Writes the bytes passed over up to index `to` (in a scan that copies) and
// takes them as written.
inline void write_run(line_scan* scan, uint32_t to) {
    if (scan->copies) write_bytes(in_bytes + scan->unwritten, to - scan->unwritten);
    scan->unwritten = to;
}

// Ends the scan with the input standing in front of the current line.
void stop_before_line(line_scan* scan);
// Makes the Ctrl-Z just found the scan's limit, and the end of the input.
void end_text_at_ctrl_z(line_scan* scan);
// Leaves the line that the LF just found ends out of the copy.
void drop_line(line_scan* scan);

// The bytes to look at in the buffer are used up: true when the scan goes
// on in the next buffer (or the same, its line moved to the front), false
// with the stop to tell.
bool scan_buffer_end(line_scan* scan, scan_stop* stop);

// ---- 64 bytes at a time -------------------------------------------------------------

// The index of the lowest bit set, for flags not 0.  Where words are 32
// bits wide, in halves: a 64-bit count would be a library call.
inline uint32_t lowest_bit(uint64_t flags) {
#if UINTPTR_MAX > 0xFFFFFFFFu
    return (uint32_t)__builtin_ctzll(flags);
#else
    uint32_t low = (uint32_t)flags;
    return low != 0 ? (uint32_t)__builtin_ctz(low) : 32 + (uint32_t)__builtin_ctz((uint32_t)(flags >> 32));
#endif
}

// The first bits of a block's flags, for a block cut short.
inline uint64_t first_bits(uint32_t count) {
    return count >= kScanBlock ? ~0ull : (1ull << count) - 1;
}

// Flags of the bytes of a block, bit k for bytes[k]: those that end a line
// (LF) or the text (Ctrl-Z).  Where the processor has SSE2 (every x86-64),
// sixteen bytes at a time; elsewhere byte by byte.
#if defined(__SSE2__)
typedef char byte_vector __attribute__((vector_size(16)));
#define TAMRIX_SIXTEEN(c) {c, c, c, c, c, c, c, c, c, c, c, c, c, c, c, c}

inline byte_vector load_vector(const char* bytes) {
    byte_vector vector;
    __builtin_memcpy(&vector, bytes, 16);
    return vector;
}

inline uint64_t vector_flags(byte_vector hits) {
    return (uint32_t)__builtin_ia32_pmovmskb128(hits);
}

inline uint64_t line_end_flags(const char* bytes) {
    const byte_vector lfs = TAMRIX_SIXTEEN('\n');
    const byte_vector ctrl_zs = TAMRIX_SIXTEEN(kCtrlZ);
    uint64_t flags = 0;
    for (uint32_t k = 0; k < kScanBlock; k += 16) {
        byte_vector chunk = load_vector(bytes + k);
        flags |= vector_flags((byte_vector)((chunk == lfs) | (chunk == ctrl_zs))) << k;
    }
    return flags;
}
#else
inline uint64_t line_end_flags(const char* bytes) {
    uint64_t flags = 0;
    for (uint32_t k = 0; k < kScanBlock; k++)
        if (bytes[k] == '\n' || bytes[k] == kCtrlZ) flags |= 1ull << k;
    return flags;
}
#endif

// Passes the LF found last: it ends the line, and it gains a CR where it
// has none in front (in_bytes[-1] being the byte before the buffer).
inline void pass_lf(line_scan* scan) {
    scan->lf_pending = false;
    uint32_t lf = scan->end;
    scan->line = lf + 1;
    scan->line_start = true;
    if ((in_bytes + lf)[-1] == '\r') return;
    scan->plain_from = in.base + lf + 1;
    // A dropped line took its LF with it.
    if (scan->copies && scan->unwritten <= lf) {
        write_run(scan, lf);
        write_bytes("\r", 1);
    }
}

// The next LF or Ctrl-Z, the buffer ending inside a line, or the end.
inline scan_stop next_stop(line_scan* scan) {
    if (scan->lf_pending) pass_lf(scan);
    while (scan->block_ends == 0) {
        if (scan->next_block >= scan->bytes_end) {
            scan_stop stop;
            if (!scan_buffer_end(scan, &stop)) return stop;
            continue;
        }
        uint32_t block = scan->next_block;
        scan->block_ends = line_end_flags(in_bytes + block) & first_bits(scan->bytes_end - block);
        scan->next_block += kScanBlock;
    }
    scan->end = scan->next_block - kScanBlock + lowest_bit(scan->block_ends);
    scan->block_ends &= scan->block_ends - 1;
    if (in_bytes[scan->end] == kCtrlZ) {
        end_text_at_ctrl_z(scan);
        return stopped_at_ctrl_z;
    }
    scan->lf_pending = true;
    return stopped_at_lf;
}

#endif
