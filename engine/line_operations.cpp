// The operations of the line engine: anchored copying, template groups, the
// pre-scan and the removal of marked lines.
#include "line_scan.h"
#include "text.h"

static line_piece current_piece;  // the piece read last: all the engine ever holds of a line

// ---- matching -------------------------------------------------------------------

// How many blanks and tabs begin the bytes bytes[0, count): the line text
// starts after them.
static inline uint32_t leading_blanks(const char* bytes, uint32_t count) {
    uint32_t start = 0;
    while (start < count && (bytes[start] == ' ' || bytes[start] == '\t')) start++;
    return start;
}

// True when the line whose first piece is (or starts with) the bytes
// bytes[0, count) has a line text that begins with the first `length`
// characters of `text`, ignoring ASCII case.
static inline bool text_begins(const char* bytes, uint32_t count, const char* text, uint32_t length) {
    uint32_t start = leading_blanks(bytes, count);
    return count - start >= length && same_text_ignoring_case(bytes + start, text, length);
}

// The same for a piece read.  A continuation piece is never a line of its
// own, so it matches nothing.
static bool matches(const line_piece* piece, const char* text, uint32_t length) {
    return !piece->continuation && text_begins(piece->text, piece->length, text, length);
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
        found = read_piece(&current_piece) && matches(&current_piece, text, length);
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
// key starts, and for the hashes also the first.  No line ahead matches
// when the last one lies behind.  When the first one lies ahead and
// matches, it is the line searched for, and the search copies up to it.
// Otherwise, when the last one matches, the search copies line by line up
// to the first line that matches.  When neither matches (other lines have
// the key), the search reads ahead as before.
//
// The notes and the table of template lines that the pre-scan looks for
// (see the pre-scan below) are one struct, filled anew by every pre-scan.

const uint32_t kNoteBuckets = 512;
const uint32_t kTableRows = 64;
const uint32_t kTableBuckets = 64;
const uint8_t kNoRow = 0xFF;

struct prescan_state {
    // File offset + 1 of the last (first) line of each key; 0: none.
    struct line_notes {
        uint32_t last_by_first[256];
        uint32_t last_by_8[kNoteBuckets];
        uint32_t last_by_16[kNoteBuckets];
        uint32_t first_by_8[kNoteBuckets];
        uint32_t first_by_16[kNoteBuckets];
    } notes;
    bool notes_valid;     // the pre-scan ran to the end of this input
    uint32_t notes_from;  // from this offset on
    // The enabled template lines, each a row of the table.
    char* table_row[kTableRows];        // the row: disabled by a NUL in front
    uint32_t table_length[kTableRows];  // its text less the marker
    uint64_t table_hash[kTableRows];    // of its first table_key_length characters
    uint64_t table_tail[kTableRows];    // its last 8 characters folded, if it has 8
    uint8_t table_next[kTableRows];     // the next row of the bucket
    uint8_t table_head[kTableBuckets];  // the first row of each bucket; kNoRow: none
    uint32_t table_key_length;          // UINT32_MAX: no template line enabled
    // For keys longer than 16: a bit for each template line's hash of its
    // first 16 characters, so that most lines need no longer key.
    uint64_t table_starts;
};
static prescan_state prescan;  // the last pre-scan's table and notes

void forget_prescan() {
    prescan.notes_valid = false;
    in.plain_from = in.plain_to = 0;
}

// The multipliers of the hashes: odd, their bits spread over the word, so
// that the top bits of a product (the buckets) depend on all of its bytes.
// 2^64 divided by the golden ratio (Knuth's Fibonacci hashing), and three
// of xxHash64's primes, PRIME64_2, _3 and _5.  Any such constants would do.
const uint64_t kGoldenRatio64 = 0x9E3779B97F4A7C15ull;
const uint64_t kXxh64Prime2 = 0xC2B2AE3D27D4EB4Full;
const uint64_t kXxh64Prime3 = 0x165667B19E3779F9ull;
const uint64_t kXxh64Prime5 = 0x27D4EB2F165667C5ull;

// Every ASCII letter as its lower case, and some other bytes with them (@
// as `, [ as {): equal texts ignoring case are equal folded, so a key of
// folded bytes never tells a matching line from its text.
inline uint64_t folded(uint64_t word) { return word | (kOnes * 0x20); }

// A hash of the first `length` characters (8 to 16 of them: the word at 0
// and, past 8, the one at length - 8), folded; fewer than 8 count byte by
// byte.  The hash of the first 16 adds to the hash of the first 8.
inline uint64_t prefix_hash(const char* text, uint32_t length) {
    if (length >= 8) {
        uint64_t hash = folded(load_word(text)) * kGoldenRatio64;
        return length == 8 ? hash : hash ^ folded(load_word(text + length - 8)) * kXxh64Prime2;
    }
    uint64_t word = 0;
    for (uint32_t i = 0; i < length; i++) word |= (uint64_t)((unsigned char)text[i] | 0x20) << (8 * i);
    return word * kGoldenRatio64;
}

// The note buckets of a hash.
inline uint32_t note_bucket(uint64_t hash) { return (uint32_t)(hash >> 55); }
static_assert(kNoteBuckets == 512, "a note bucket is the hash's top 9 bits");

// True when the text holds none of the bytes that text mode translates or
// that end a line or the text: it then matches raw bytes as it matches
// the text read.
static bool plain_text(const char* text, uint32_t length) {
    for (uint32_t i = 0; i < length; i++)
        if (text[i] == '\r' || text[i] == '\n' || text[i] == kCtrlZ) return false;
    return true;
}

// Reads the first piece of the line at `offset` where it lies: in the
// buffer, or by a small read that leaves the file where the buffer needs it.
static bool line_at_matches(uint32_t offset, const char* text, uint32_t length) {
    uint32_t index = offset - in.base;
    if (offset >= in.base && index <= in.filled &&
        (in.filled - index >= kPieceLimit || in.file_ended)) {
        uint32_t count = in.filled - index < kPieceLimit ? in.filled - index : kPieceLimit;
        return text_begins(in_bytes + index, count, text, length);
    }
    static char probe[kPieceLimit];  // the first piece of a line read apart from the buffer
    uint32_t probed = 0;
    bool read_ok = platform_seek(in.handle, offset);
    while (read_ok && probed < kPieceLimit) {
        int32_t got = platform_read(in.handle, probe + probed, kPieceLimit - probed);
        if (got <= 0) {
            read_ok = got == 0;
            break;
        }
        probed += (uint32_t)got;
    }
    // The file goes back to where the buffer's next read starts.
    if (!read_ok || !platform_seek(in.handle, in.base + in.filled)) {
        in.failed = true;
        return false;
    }
    return text_begins(probe, probed, text, length);
}

enum lookahead { none_ahead, match_known, match_ahead, not_known };

// Where a search for a plain text from here may go: nowhere, straight to
// the line at *found (the first that matches), line by line to a match
// that lies ahead, or not known.
static lookahead anchor_ahead(const char* text, uint32_t length, uint32_t* found) {
    // The search of an input that has ended reads nothing and finds nothing.
    if (input_ended()) return none_ahead;
    if (!prescan.notes_valid || length == 0 || length > kPieceLimit || !plain_text(text, length))
        return not_known;
    uint32_t here = in.base + in.next;
    if (here < prescan.notes_from) return not_known;
    uint32_t first = 0, last;
    if (length >= 8) {
        uint32_t bucket = note_bucket(prefix_hash(text, length >= 16 ? 16 : 8));
        first = length >= 16 ? prescan.notes.first_by_16[bucket] : prescan.notes.first_by_8[bucket];
        last = length >= 16 ? prescan.notes.last_by_16[bucket] : prescan.notes.last_by_8[bucket];
    } else {
        last = prescan.notes.last_by_first[(unsigned char)ascii_lower(text[0])];
    }
    // Standing inside a line, the next line starts after here.
    uint32_t next_line = here + (in.mid_line ? 1 : 0);
    if (last == 0 || last - 1 < next_line) return none_ahead;
    if (first != 0 && first - 1 >= next_line) {
        if (line_at_matches(first - 1, text, length)) {
            *found = first - 1;
            return match_known;
        }
        if (first == last) return not_known;
    }
    return line_at_matches(last - 1, text, length) ? match_ahead : not_known;
}

// Where the first piece of the line in_bytes[from, end) ends, `end` being
// its LF, its Ctrl-Z or the end of what the buffer holds of it.
static inline uint32_t first_piece_end(uint32_t from, uint32_t end) {
    return end - from < kPieceLimit ? end : from + kPieceLimit;
}

// True when the line in_bytes[from, end) (its LF, if any, at end) matches
// the plain text.
static inline bool line_matches(uint32_t from, uint32_t end, const char* text, uint32_t length) {
    const char* bytes = in_bytes + from;
    // Most lines start with their text and differ at once.
    if (bytes[0] != ' ' && bytes[0] != '\t' && ascii_lower(bytes[0]) != ascii_lower(text[0])) return false;
    return text_begins(bytes, first_piece_end(from, end) - from, text, length);
}

// Copies lines up to the first one from here on that matches the plain
// text, as copy_input_to would, and stops in front of it; the caller knows
// that one lies ahead.  False when the input ends first, which only a read
// that fails (or a file changed since the pre-scan) can make happen.
static bool copy_to_match(const char* text, uint32_t length) {
    line_scan scan;
    begin_scan(&scan, kMatchWindow, true, true, UINT32_MAX);
    while (next_stop(&scan) != stopped_for_good) {
        if (scan.line_start && line_matches(scan.line, scan.end, text, length)) {
            stop_before_line(&scan);
            return true;
        }
    }
    return false;
}

// ---- copying ----------------------------------------------------------------------

// Copies the lines up to the first one from here on that matches `text`
// and stops in front of it.  False, having written and moved nothing, when
// none matches, or when a read failed.
static bool copy_to_line_matching(const char* text) {
    uint32_t length = text_length(text);
    uint32_t found = 0;
    lookahead ahead = anchor_ahead(text, length, &found);
    input_position line_start = {found, false};
    if (ahead == none_ahead) {
        input_go_to(input_here());  // as a search that found nothing
        return false;
    }
    if (ahead == match_ahead) return copy_to_match(text, length);
    if (ahead == not_known && !found_ahead(text, length, &line_start)) return false;
    copy_input_to(&line_start);
    return !input_ended();
}

bool copy_until_anchor(const char* anchor) {
    if (anchor != nullptr) return copy_to_line_matching(anchor);
    copy_input_to(nullptr);
    return false;
}

bool copy_through_header(const char* header) {
    if (!copy_to_line_matching(header) || !read_piece(&current_piece)) return false;
    write_line(&current_piece);
    // A header longer than a piece: what follows must follow all of it.
    while (input_mid_line() && !input_ended())
        if (read_piece(&current_piece)) write_line(&current_piece);
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
// their first key_length characters, folded, key_length being the length
// of the shortest one, kKeyLimit at most.  A line shorter than that matches
// none; for the others, only the template lines with the same hash and the
// same last eight characters, folded, are compared.

inline uint32_t table_bucket(uint64_t hash) { return (uint32_t)(hash >> 58); }

// Long enough to tell apart template lines that differ in a device number
// after a common start, such as "ExcludeFromSelect=PCI\VEN_8086&DEV_7110".
const uint32_t kKeyLimit = 40;

// The table's hash of a key of more than 16 characters, from the hash of
// its first 16: the words at 16, at 24 and at length - 8 added in.
inline uint64_t long_key_hash(uint64_t hash_16, const char* text, uint32_t length) {
    if (length > 24) hash_16 ^= folded(load_word(text + 16)) * kXxh64Prime3;
    if (length > 32) hash_16 ^= folded(load_word(text + 24)) * kXxh64Prime5;
    return hash_16 ^ folded(load_word(text + length - 8)) * kGoldenRatio64;
}

inline uint64_t table_key(const char* text, uint32_t length) {
    if (length <= 16) return prefix_hash(text, length);
    return long_key_hash(prefix_hash(text, 16), text, length);
}
static_assert(kTableBuckets == 64, "a table bucket is the hash's top 6 bits");

// False when some enabled template line does not suit the table (more of
// them than it holds, one that is just its marker, one with a line end or
// a Ctrl-Z in it): the pre-scan then reads piece by piece.
static bool build_table(template_group* const* groups, uint32_t group_count) {
    uint32_t rows = 0;
    prescan.table_key_length = UINT32_MAX;
    for (uint32_t g = 0; g < group_count; g++) {
        template_group* group = groups[g];
        for (uint32_t i = 0; i < group->count; i++) {
            char* row = group->rows + i * group->width;
            // A line shorter than its marker could never match.
            if (!line_enabled(row) || group->lengths[i] < kMarkerLength) continue;
            uint32_t length = group->lengths[i] - kMarkerLength;
            if (rows == kTableRows || length == 0 || !plain_text(row, length)) return false;
            prescan.table_row[rows] = row;
            prescan.table_length[rows] = length;
            prescan.table_tail[rows] = length >= 8 ? folded(load_word(row + length - 8)) : 0;
            if (length < prescan.table_key_length) prescan.table_key_length = length;
            rows++;
        }
    }
    if (prescan.table_key_length != UINT32_MAX && prescan.table_key_length > kKeyLimit)
        prescan.table_key_length = kKeyLimit;
    for (uint32_t b = 0; b < kTableBuckets; b++) prescan.table_head[b] = kNoRow;
    prescan.table_starts = 0;
    for (uint32_t r = 0; r < rows; r++) {
        if (prescan.table_key_length > 16)
            prescan.table_starts |= 1ull << table_bucket(prefix_hash(prescan.table_row[r], 16));
        prescan.table_hash[r] = table_key(prescan.table_row[r], prescan.table_key_length);
        uint32_t bucket = table_bucket(prescan.table_hash[r]);
        prescan.table_next[r] = prescan.table_head[bucket];
        prescan.table_head[bucket] = (uint8_t)r;
    }
    return true;
}

// One line: its first piece, less the LF, is in_bytes[from, end), and
// in.base + 1 is `base`.
static inline void prescan_line(uint32_t from, uint32_t end, uint32_t base) {
    const char* bytes = in_bytes;
    uint32_t start = from;
    // Blanks and tabs lie below '!', where the text of few lines starts.
    if (start < end && (unsigned char)bytes[start] <= ' ')
        while (start < end && (bytes[start] == ' ' || bytes[start] == '\t')) start++;
    if (start == end) return;
    const char* text = bytes + start;
    uint32_t length = end - start;
    uint32_t noted = base + from;
    prescan.notes.last_by_first[(unsigned char)ascii_lower(text[0])] = noted;
    uint64_t hash_8 = 0, hash_16 = 0;
    if (length >= 8) {
        hash_8 = folded(load_word(text)) * kGoldenRatio64;
        uint32_t bucket = note_bucket(hash_8);
        if (prescan.notes.first_by_8[bucket] == 0) prescan.notes.first_by_8[bucket] = noted;
        prescan.notes.last_by_8[bucket] = noted;
        if (length >= 16) {
            hash_16 = hash_8 ^ folded(load_word(text + 8)) * kXxh64Prime2;
            bucket = note_bucket(hash_16);
            if (prescan.notes.first_by_16[bucket] == 0) prescan.notes.first_by_16[bucket] = noted;
            prescan.notes.last_by_16[bucket] = noted;
        }
    }
    uint32_t key_length = prescan.table_key_length;
    if (length < key_length) return;
    if (key_length > 16 && (prescan.table_starts >> table_bucket(hash_16) & 1) == 0) return;
    uint64_t hash = key_length > 16   ? long_key_hash(hash_16, text, key_length)
                    : key_length == 16 ? hash_16
                    : key_length == 8  ? hash_8
                                       : prefix_hash(text, key_length);
    for (uint8_t r = prescan.table_head[table_bucket(hash)]; r != kNoRow;
         r = prescan.table_next[r]) {
        uint32_t row_length = prescan.table_length[r];
        if (prescan.table_hash[r] != hash || row_length > length) continue;
        if (row_length >= 8 && folded(load_word(text + row_length - 8)) != prescan.table_tail[r]) continue;
        char* row = prescan.table_row[r];
        if (line_enabled(row) && same_text_ignoring_case(text, row, row_length)) row[0] = '\0';
    }
}

// The pre-scan piece by piece, for template lines the table cannot hold.
static void prescan_pieces(template_group* const* groups, uint32_t group_count) {
    while (!input_ended()) {
        if (!read_piece(&current_piece) || current_piece.continuation) continue;
        uint32_t start = leading_blanks(current_piece.text, current_piece.length);
        if (start == current_piece.length) continue;
        char first = ascii_lower(current_piece.text[start]);
        for (uint32_t g = 0; g < group_count; g++) {
            template_group* group = groups[g];
            for (uint32_t i = 0; i < group->count; i++) {
                char* row = group->rows + i * group->width;
                // Most lines differ at once: test the first letter first.
                if (ascii_lower(row[0]) != first || !line_enabled(row)) continue;
                if (matches(&current_piece, row, group->lengths[i] - kMarkerLength)) row[0] = '\0';
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
    __builtin_memset(&prescan.notes, 0, sizeof prescan.notes);
    prescan.notes_from = in.base + in.next;
    line_scan scan;
    begin_scan(&scan, kMatchWindow, false, true, UINT32_MAX);
    while (next_stop(&scan) != stopped_for_good)
        if (scan.line_start) prescan_line(scan.line, first_piece_end(scan.line, scan.end), in.base + 1);
    prescan.notes_valid = !in.failed;
    if (prescan.notes_valid) {
        in.plain_from = scan.plain_from;
        in.plain_to = in.base + in.next;  // the first Ctrl-Z, or the end of the file
    }
    input_go_to(input_position{0, false});
}

// ---- Uninstall -----------------------------------------------------------------------

// True when the line in_bytes[from, lf] (lf holding its LF) is one piece
// that ends in kMarker.
static inline bool marked_at(uint32_t from, uint32_t lf) {
    uint32_t text_end = lf > from && in_bytes[lf - 1] == '\r' ? lf - 1 : lf;
    if (text_end - from + 1 > kPieceLimit || text_end - from < kMarkerLength - 1) return false;
    const char* tail = in_bytes + text_end - (kMarkerLength - 1);
    for (uint32_t i = 0; i < kMarkerLength - 1; i++)
        if (tail[i] != kMarker[i]) return false;
    return true;
}

void strip_marked_lines() {
    if (input_ended()) return;
    line_scan scan;
    begin_scan(&scan, kMarkedLineWindow, true, true, UINT32_MAX);
    for (scan_stop stop; (stop = next_stop(&scan)) != stopped_for_good;)
        if (stop == stopped_at_lf && scan.line_start && marked_at(scan.line, scan.end)) drop_line(&scan);
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
        if (read_piece(&current_piece) && is_marked(&current_piece)) marked++;
    input_go_to(input_position{0, false});
    return marked;
}
