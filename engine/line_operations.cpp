// The operations of the line engine: anchored copying, template groups, the
// pre-scan and the removal of marked lines.
#include "line_streams.h"
#include "text.h"

static line_piece line;  // the current line: all the engine ever holds

// ---- matching -------------------------------------------------------------------

// The line text: the piece after its leading blanks and tabs.
static uint32_t line_text_start(const line_piece* piece) {
    uint32_t start = 0;
    while (start < piece->length && (piece->text[start] == ' ' || piece->text[start] == '\t'))
        start++;
    return start;
}

// True when the line text begins with the first `length` characters of
// `text`, ignoring ASCII case.  A continuation piece is never a line of its
// own, so it matches nothing.
static bool matches(const line_piece* piece, const char* text, uint32_t length) {
    if (piece->continuation) return false;
    uint32_t start = line_text_start(piece);
    if (piece->length - start < length) return false;
    return same_text_ignoring_case(piece->text + start, text, length);
}

static bool is_marked(const line_piece* piece) {
    if (piece->continuation || piece->length < kMarkerLength) return false;
    const char* end = piece->text + piece->length - kMarkerLength;
    for (uint32_t i = 0; i < kMarkerLength; i++)
        if (end[i] != kMarker[i]) return false;
    return true;
}

static void write_line(const line_piece* piece) { write_text(piece->text, piece->length); }

// Looks ahead, writing nothing, for the first line from here on that
// matches `text`, and notes where it starts; leaves the input where it was.
// The search stops there: what lies beyond cannot change the answer.
static bool found_ahead(const char* text, uint32_t length, input_position* found_at) {
    input_position start = input_here();
    bool found = false;
    while (!input_ended() && !found) {
        *found_at = input_here();
        found = read_piece(&line) && matches(&line, text, length);
    }
    input_go_to(start);
    return found;
}

// ---- what the pre-scan notes for the searches -------------------------------------
// A search for an anchor must know that a line ahead matches before it
// writes anything: where none does, it writes and moves nothing.  Rather
// than read ahead to the anchor and come back, it asks what the pre-scan
// noted: for each key of a line's first characters (the first character;
// hashes of the first 8 and the first 16), where the last line with that
// key starts.  No matching line lies ahead when the last line with the
// anchor's key lies behind; otherwise that last line is read and checked,
// and when it matches, the search copies up to the first match as it goes.
// When it does not (another line has the key), the search reads ahead as
// before.

const uint32_t kNoteBuckets = 512;
static uint32_t last_by_first[256];          // file offset + 1 of that line; 0: none
static uint32_t last_by_8[kNoteBuckets];
static uint32_t last_by_16[kNoteBuckets];
static bool notes_valid;   // the pre-scan ran to the end of this input
static uint32_t notes_from;  // from this offset on

void forget_prescan() { notes_valid = false; }

const uint64_t kMix = 0x9E3779B97F4A7C15ull;
const uint64_t kMix2 = 0xC2B2AE3D27D4EB4Full;

// Every ASCII letter as its lower case, and some other bytes with them (@
// as `, [ as {): equal texts ignoring case are equal folded, so a key of
// folded bytes never tells a matching line from its text.
inline uint64_t folded(uint64_t word) { return word | (kOnes * 0x20); }

inline uint32_t key_of_8(uint64_t folded_word) { return (uint32_t)((folded_word * kMix) >> 55); }
inline uint32_t key_of_16(uint64_t folded_first, uint64_t folded_second) {
    return (uint32_t)(((folded_first * kMix) ^ (folded_second * kMix2)) >> 55);
}

// True when the text holds none of the bytes that text mode translates or
// that end a line or the text: it then matches raw bytes as it matches
// the text read.
static bool plain_text(const char* text, uint32_t length) {
    for (uint32_t i = 0; i < length; i++)
        if (text[i] == '\r' || text[i] == '\n' || text[i] == kCtrlZ) return false;
    return true;
}

// True when a line whose first piece holds at least the bytes b[0, n)
// (n at most kPieceLimit) matches the plain text.
static bool piece_bytes_match(const char* b, uint32_t n, const char* text, uint32_t length) {
    uint32_t start = 0;
    while (start < n && (b[start] == ' ' || b[start] == '\t')) start++;
    return n - start >= length && same_text_ignoring_case(b + start, text, length);
}

// Reads the first piece of the line at `offset` where it lies: in the
// buffer, or by a small read that leaves the file where the buffer needs it.
static bool line_at_matches(uint32_t offset, const char* text, uint32_t length) {
    uint32_t index = offset - in.base;
    if (offset >= in.base && index <= in.filled &&
        (in.filled - index >= kPieceLimit || in.file_ended)) {
        uint32_t n = in.filled - index < kPieceLimit ? in.filled - index : kPieceLimit;
        return piece_bytes_match(in.bytes + index, n, text, length);
    }
    static char probe[kPieceLimit];
    uint32_t n = 0;
    if (!platform_seek(in.handle, offset)) {
        in.failed = true;
        return false;
    }
    while (n < kPieceLimit) {
        int32_t count = platform_read(in.handle, probe + n, kPieceLimit - n);
        if (count < 0) {
            in.failed = true;
            return false;
        }
        if (count == 0) break;
        n += (uint32_t)count;
    }
    if (!platform_seek(in.handle, in.base + in.filled)) {
        in.failed = true;
        return false;
    }
    return piece_bytes_match(probe, n, text, length);
}

enum lookahead { none_ahead, match_ahead, not_known };

static lookahead anchor_ahead(const char* text, uint32_t length) {
    // The search of an input that has ended reads nothing and finds nothing.
    if (input_ended()) return none_ahead;
    if (!notes_valid || length == 0 || length > kPieceLimit || !plain_text(text, length))
        return not_known;
    uint32_t here = in.base + in.next;
    if (here < notes_from) return not_known;
    uint32_t last;
    if (length >= 16)
        last = last_by_16[key_of_16(folded(load_word(text)), folded(load_word(text + 8)))];
    else if (length >= 8)
        last = last_by_8[key_of_8(folded(load_word(text)))];
    else
        last = last_by_first[(unsigned char)ascii_lower(text[0])];
    // Standing inside a line, the next line starts after here.
    if (last == 0 || last - 1 < here + (in.mid_line ? 1 : 0)) return none_ahead;
    return line_at_matches(last - 1, text, length) ? match_ahead : not_known;
}

// Copies lines up to the first one from here on that matches the plain
// text, as copy_input_to would, and stops in front of it; the caller knows
// that one lies ahead.  False when the input ends first, which only a read
// that fails (or a file changed since the pre-scan) can make happen.
static bool copy_to_match(const char* text, uint32_t length) {
    const char first = ascii_lower(text[0]);
    uint32_t run = in.next;  // the bytes not yet written start here
    uint32_t p = in.next;    // where the scan stands
    bool line_start = !in.mid_line;
    for (;;) {
        if (line_start) {
            if (in.filled - p < kLineWindow && !in.file_ended) {
                write_bytes(in.bytes + run, p - run);
                in.next = p;
                fill_input_ahead(kLineWindow);
                if (in.failed) break;
                run = p = in.next;
            }
            const char* b = in.bytes + p;
            uint32_t n = in.filled - p < kPieceLimit ? in.filled - p : kPieceLimit;
            uint32_t start = 0;
            while (start < n && (b[start] == ' ' || b[start] == '\t')) start++;
            if (n - start >= length && ascii_lower(b[start]) == first &&
                same_text_ignoring_case(b + start, text, length)) {
                write_bytes(in.bytes + run, p - run);
                in.next = p;
                in.mid_line = false;
                return true;
            }
        }
        uint32_t end = find_line_end(in.bytes, p, in.filled);
        if (end == in.filled) {  // the line goes on in the next bytes
            write_bytes(in.bytes + run, end - run);
            in.next = end;
            if (!fill_input()) break;
            run = p = in.next;
            line_start = false;
            continue;
        }
        if (in.bytes[end] == kCtrlZ) {
            write_bytes(in.bytes + run, end - run);
            in.next = end;
            break;
        }
        if (lf_is_bare(end)) {
            write_bytes(in.bytes + run, end - run);
            write_bytes("\r", 1);
            run = end;
        }
        p = end + 1;
        line_start = true;
    }
    in.at_end = true;
    return false;
}

// ---- copying ----------------------------------------------------------------------

bool copy_until_anchor(const char* anchor) {
    if (anchor == nullptr) {
        copy_input_to(nullptr);
        return false;
    }
    uint32_t length = text_length(anchor);
    switch (anchor_ahead(anchor, length)) {
    case none_ahead:
        input_go_to(input_here());  // as a search that found nothing
        return false;
    case match_ahead:
        return copy_to_match(anchor, length) && !input_failed();
    case not_known:
        break;
    }
    input_position anchor_line;
    if (!found_ahead(anchor, length, &anchor_line)) return false;
    // The lines before the anchor line are copied; the anchor line is not.
    copy_input_to(&anchor_line);
    return !input_failed();
}

bool copy_through_header(const char* header) {
    uint32_t length = text_length(header);
    switch (anchor_ahead(header, length)) {
    case none_ahead:
        input_go_to(input_here());
        return false;
    case match_ahead:
        if (!copy_to_match(header, length)) return false;
        break;
    case not_known:
        input_position header_line;
        if (!found_ahead(header, length, &header_line)) return false;
        copy_input_to(&header_line);
        break;
    }
    if (!read_piece(&line)) return false;
    write_line(&line);
    // A header longer than a piece: what follows must follow all of it.
    while (input_mid_line() && !input_ended())
        if (read_piece(&line)) write_line(&line);
    return true;
}

// ---- template lines -----------------------------------------------------------------

const char* group_line(const template_group* group, uint32_t index) {
    return group->rows + index * group->width;
}

bool line_enabled(const char* line_text) { return line_text[0] != '\0'; }

void rearm_group(template_group* group) {
    for (uint32_t i = 0; i < group->count; i++) {
        char* row = group->rows + i * group->width;
        const char* text = group->text[i];
        uint32_t n = 0;
        for (; text[n] != '\0' && n + 1 < group->width; n++) row[n] = text[n];
        row[n] = '\0';
        group->lengths[i] = n;
    }
}

void write_template_line(const char* template_line) {
    if (!line_enabled(template_line)) return;
    if (output_mid_line()) write_text("\n", 1);
    write_text(template_line, text_length(template_line));
}

void write_group(const template_group* group) {
    for (uint32_t i = 0; i < group->count; i++) write_template_line(group_line(group, i));
}

// ---- the pre-scan -----------------------------------------------------------------------
// Every line is compared with the enabled template lines through a small
// table built at the start of the pre-scan: the template lines by a hash of
// their first key_length characters, folded, key_length being the shortest
// template line's length.  A line shorter than that matches none; for the
// others, only the template lines of their bucket are compared.

const uint32_t kTableRows = 64;
const uint32_t kTableBuckets = 64;
const uint8_t kNoRow = 0xFF;
static char* table_row[kTableRows];      // the row: disabled by a NUL in front
static uint32_t table_length[kTableRows];  // its text less the marker
static uint8_t table_next[kTableRows];    // the next row of the bucket
static uint8_t table_head[kTableBuckets];
static uint32_t table_key_length;  // UINT32_MAX: no template line enabled

static uint32_t table_key(const char* text, uint32_t length) {
    uint64_t hash = 0;
    if (length >= 8) {
        uint32_t i = 0;
        for (; i + 8 < length; i += 8) hash = (hash ^ folded(load_word(text + i))) * kMix;
        hash ^= folded(load_word(text + length - 8));
    } else {
        for (uint32_t i = 0; i < length; i++) hash = (hash ^ ((unsigned char)text[i] | 0x20)) * kMix;
    }
    return (uint32_t)((hash * kMix) >> 58);
}

// False when some enabled template line does not suit the table (more of
// them than it holds, one that is just its marker, one with a line end or
// a Ctrl-Z in it): the pre-scan then reads piece by piece.
static bool build_table(template_group* const* groups, uint32_t group_count) {
    uint32_t rows = 0;
    table_key_length = UINT32_MAX;
    for (uint32_t g = 0; g < group_count; g++) {
        template_group* group = groups[g];
        for (uint32_t i = 0; i < group->count; i++) {
            char* row = group->rows + i * group->width;
            // A line shorter than its marker could never match.
            if (!line_enabled(row) || group->lengths[i] < kMarkerLength) continue;
            uint32_t length = group->lengths[i] - kMarkerLength;
            if (rows == kTableRows || length == 0 || !plain_text(row, length)) return false;
            table_row[rows] = row;
            table_length[rows] = length;
            if (length < table_key_length) table_key_length = length;
            rows++;
        }
    }
    for (uint32_t b = 0; b < kTableBuckets; b++) table_head[b] = kNoRow;
    for (uint32_t r = 0; r < rows; r++) {
        uint32_t bucket = table_key(table_row[r], table_key_length);
        table_next[r] = table_head[bucket];
        table_head[bucket] = (uint8_t)r;
    }
    return true;
}

// One line: its first piece, less the LF, is in.bytes[from, end).
static inline void prescan_line(uint32_t from, uint32_t end) {
    const char* bytes = in.bytes;
    uint32_t start = from;
    while (start < end && (bytes[start] == ' ' || bytes[start] == '\t')) start++;
    if (start == end) return;
    const char* text = bytes + start;
    uint32_t length = end - start;
    uint32_t noted = in.base + from + 1;
    last_by_first[(unsigned char)ascii_lower(text[0])] = noted;
    if (length >= 8) {
        uint64_t first = folded(load_word(text));
        last_by_8[key_of_8(first)] = noted;
        if (length >= 16) last_by_16[key_of_16(first, folded(load_word(text + 8)))] = noted;
    }
    if (length < table_key_length) return;
    for (uint8_t r = table_head[table_key(text, table_key_length)]; r != kNoRow; r = table_next[r]) {
        char* row = table_row[r];
        if (line_enabled(row) && table_length[r] <= length &&
            same_text_ignoring_case(text, row, table_length[r]))
            row[0] = '\0';
    }
}

// The pre-scan piece by piece, for template lines the table cannot hold.
static void prescan_pieces(template_group* const* groups, uint32_t group_count) {
    while (!input_ended()) {
        if (!read_piece(&line) || line.continuation) continue;
        uint32_t start = line_text_start(&line);
        if (start == line.length) continue;
        char first = ascii_lower(line.text[start]);
        for (uint32_t g = 0; g < group_count; g++) {
            template_group* group = groups[g];
            for (uint32_t i = 0; i < group->count; i++) {
                char* row = group->rows + i * group->width;
                // Most lines differ at once: test the first letter first.
                if (ascii_lower(row[0]) != first || !line_enabled(row)) continue;
                if (matches(&line, row, group->lengths[i] - kMarkerLength)) row[0] = '\0';
            }
        }
    }
}

void mark_present(template_group* const* groups, uint32_t group_count) {
    forget_prescan();
    if (input_ended() || !build_table(groups, group_count)) {
        prescan_pieces(groups, group_count);
        input_go_to(input_position{0, false});
        return;
    }
    __builtin_memset(last_by_first, 0, sizeof last_by_first);
    __builtin_memset(last_by_8, 0, sizeof last_by_8);
    __builtin_memset(last_by_16, 0, sizeof last_by_16);
    notes_from = in.base + in.next;
    uint32_t p = in.next;
    bool line_start = !in.mid_line;
    while (!in.failed) {
        if (line_start) {
            if (in.filled - p < kLineWindow && !in.file_ended) {
                in.next = p;
                fill_input_ahead(kLineWindow);
                if (in.failed) break;
                p = in.next;
            }
            uint32_t piece_end = in.filled - p < kPieceLimit ? in.filled : p + kPieceLimit;
            uint32_t end = find_line_end(in.bytes, p, piece_end);
            prescan_line(p, end);
            if (end < piece_end) {
                if (in.bytes[end] == kCtrlZ) break;
                p = end + 1;
                continue;
            }
            p = piece_end;  // the rest of a long line: continuation pieces
            line_start = false;
        }
        uint32_t end = find_line_end(in.bytes, p, in.filled);
        if (end == in.filled) {
            in.next = end;
            if (!fill_input()) break;
            p = in.next;
            continue;
        }
        if (in.bytes[end] == kCtrlZ) break;
        p = end + 1;
        line_start = true;
    }
    notes_valid = !in.failed;
    input_go_to(input_position{0, false});
}

// ---- Uninstall -----------------------------------------------------------------------

// True when the line in.bytes[from, lf] (lf holding its LF) is one piece
// that ends in kMarker.
static inline bool marked_at(uint32_t from, uint32_t lf) {
    uint32_t text_end = lf > from && in.bytes[lf - 1] == '\r' ? lf - 1 : lf;
    if (text_end - from + 1 > kPieceLimit || text_end - from < kMarkerLength - 1) return false;
    const char* tail = in.bytes + text_end - (kMarkerLength - 1);
    for (uint32_t i = 0; i < kMarkerLength - 1; i++)
        if (tail[i] != kMarker[i]) return false;
    return true;
}

void strip_marked_lines() {
    if (input_ended()) return;
    uint32_t run = in.next;  // the bytes not yet written start here
    uint32_t p = in.next;    // where the scan stands
    bool line_start = !in.mid_line;
    for (;;) {
        if (line_start && in.filled - p < kLineWindow && !in.file_ended) {
            write_bytes(in.bytes + run, p - run);
            in.next = p;
            fill_input_ahead(kLineWindow);
            if (in.failed) break;
            run = p = in.next;
        }
        uint32_t end = find_line_end(in.bytes, p, in.filled);
        if (end == in.filled) {  // the line goes on in the next bytes, or the text ends
            write_bytes(in.bytes + run, end - run);
            in.next = end;
            if (!fill_input()) break;
            run = p = in.next;
            line_start = false;
            continue;
        }
        if (in.bytes[end] == kCtrlZ) {
            write_bytes(in.bytes + run, end - run);
            in.next = end;
            break;
        }
        if (line_start && marked_at(p, end)) {
            write_bytes(in.bytes + run, p - run);
            run = end + 1;
        } else if (lf_is_bare(end)) {
            write_bytes(in.bytes + run, end - run);
            write_bytes("\r", 1);
            run = end;
        }
        p = end + 1;
        line_start = true;
    }
    in.at_end = true;
}

// ---- looking without writing ---------------------------------------------------------

template_count count_present(template_group* const* groups, uint32_t group_count) {
    for (uint32_t g = 0; g < group_count; g++) rearm_group(groups[g]);
    mark_present(groups, group_count);
    template_count count = {0, 0};
    for (uint32_t g = 0; g < group_count; g++) {
        for (uint32_t i = 0; i < groups[g]->count; i++) {
            count.total++;
            if (!line_enabled(group_line(groups[g], i))) count.present++;
        }
    }
    return count;
}

uint32_t count_marked_lines() {
    uint32_t marked = 0;
    while (!input_ended())
        if (read_piece(&line) && is_marked(&line)) marked++;
    input_go_to(input_position{0, false});
    return marked;
}
