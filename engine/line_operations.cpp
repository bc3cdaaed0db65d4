// The operations of the line engine: anchored copying, template groups, the
// pre-scan and the removal of marked lines, all made of the line scans.
#include "line_scan.h"
#include "text.h"

// Eight bytes, every ASCII capital made small (and a few other bytes too),
// and the hashes' multiplier, 2^64 over the golden ratio: its bits spread.
static uint64_t folded_word(const char* bytes) {
    uint64_t word;
    __builtin_memcpy(&word, bytes, 8);
    return word | 0x2020202020202020ull;
}
const uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

// ---- the searches -----------------------------------------------------------------
// A search must know that a line ahead matches before it writes anything,
// and so reads ahead to it.  The pre-scan notes where the first and the
// last line whose first 8 characters have each hash start: no line ahead
// matches a text of 8 or more when the last one lies behind, and none
// before the first one, where the search starts.  A shorter text ("[") is
// looked for from here on.  Without the notes, the install of the 10 MB
// file of bench/process_bench.sh read most of it a third time: 64% more
// instructions (bench/instruction_bench.sh), 2.13 times cp against 1.89.
struct line_notes {
    uint32_t first, last;  // file offset + 1 of the first and the last line with the hash; 0: none
};
static line_notes notes[512];  // by the top 9 bits of the hash

static line_notes* notes_of(const char* text) { return &notes[(folded_word(text) * kMultiplier) >> 55]; }

// Finds, writing nothing, the first line from here on whose text begins
// with `text`, notes where it starts, and leaves the input where it was.
static bool found_ahead(const char* text, uint32_t* found_at) {
    uint32_t length = text_length(text), here = input_here();
    const line_notes* noted = in_noted && length >= 8 && !input_ended() ? notes_of(text) : nullptr;
    if (noted != nullptr && (noted->last == 0 || noted->last - 1 < here)) return false;
    if (noted != nullptr && noted->first - 1 > here) input_go_to(noted->first - 1);
    bool found = false;
    line_head head;
    while (!found && head_of_line(&head)) {
        found = line_begins_with(&head, text, length);
        if (found) *found_at = in_base + head.start;
        if (!found) pass_line(&head);
    }
    input_go_to(here);
    return found;
}

// ---- copying ----------------------------------------------------------------------
bool copy_until_anchor(const char* anchor) {
    uint32_t line_start = kEndOfText;
    if (anchor != nullptr && !found_ahead(anchor, &line_start)) return false;
    copy_input_to(line_start);
    return anchor != nullptr && !input_ended();  // a read failed on the way
}

bool copy_through_header(const char* header) {
    if (!copy_until_anchor(header)) return false;
    // All of the header line, however long: what follows must follow it.
    line_head head;
    begin_copy();
    bool read = head_of_line(&head);
    if (read) pass_line(&head);
    end_copy();
    return read;
}

// ---- template lines -----------------------------------------------------------------
const char* group_line(const template_group* group, uint32_t index) {
    return group->rows + index * group->width;
}
bool line_enabled(const char* line_text) { return line_text[0] != '\0'; }

void rearm_group(template_group* group) {
    for (uint32_t i = 0; i < group->count; i++) {
        char* row = group->rows + i * group->width;
        uint32_t n = 0;
        for (; group->text[i][n] != '\0' && n + 1 < group->width; n++) row[n] = group->text[i][n];
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
// Most lines of an INF file start like some template line ("%PCI\VEN_",
// "HKLM,System\...") and part from it only after 10 to 40 characters.  So a
// line is compared only with the template lines whose hash of the first
// key_length characters, folded, is its own: equal texts, ignoring case,
// hash alike.  The hash's top bits pick a bucket, empty for most lines.
// Comparing every line with each template line of the same first letter,
// the install above took 11 times the instructions, 4.6 times cp.
const uint32_t kTableRows = 64;  // template lines beyond these wait for another pre-scan
const uint8_t kNoRow = 0xFF;
static uint8_t bucket_row[1024];  // the first row of each bucket (the hash's top 10 bits); kNoRow: none
static struct {
    char* row;
    uint32_t length;  // less the marker
    uint64_t hash;
    uint8_t next;  // the next row of the bucket
} table[kTableRows];         // the template lines of the pre-scan
static uint32_t table_rows;  // rows in `table`
static uint32_t key_length;  // the length of the shortest template line less its marker

// A hash of text[0, length) folded, of its first 16 bytes and its last 8
// (its bytes, when shorter than a word).  Any fixed choice of bytes hashes
// equal texts alike; these tell most INF lines apart: the vendor after
// "%PCI\VEN_", the device at the end of an exclusion.
static uint64_t key_hash(const char* text, uint32_t length) {
    uint64_t sum = 0;
    if (length < 8) {
        for (uint32_t k = 0; k < length; k++) sum |= (uint64_t)(unsigned char)(text[k] | 0x20) << (8 * k);
        return sum * kMultiplier;
    }
    sum = folded_word(text) + folded_word(text + length - 8);
    if (length >= 16) sum += folded_word(text + 8);
    return sum * kMultiplier;
}

static uint32_t bucket(uint64_t hash) { return (uint32_t)(hash >> 54); }

// Puts the template lines from the `skip`th on, those enabled, into the
// table and its buckets.  False when some are left over.
static bool build_table(template_group* const* groups, uint32_t group_count, uint32_t skip) {
    table_rows = 0;
    key_length = UINT32_MAX;
    uint32_t seen = 0;
    bool left_over = false;
    for (uint32_t g = 0; g < group_count; g++)
        for (uint32_t i = 0; i < groups[g]->count; i++) {
            char* row = groups[g]->rows + i * groups[g]->width;
            // A line that is nothing but its marker is never looked for.
            if (groups[g]->lengths[i] <= kMarkerLength || seen++ < skip || !line_enabled(row)) continue;
            if (table_rows == kTableRows) {
                left_over = true;
                continue;
            }
            table[table_rows] = {row, groups[g]->lengths[i] - kMarkerLength, 0, kNoRow};
            if (table[table_rows].length < key_length) key_length = table[table_rows].length;
            table_rows++;
        }
    __builtin_memset(bucket_row, kNoRow, sizeof bucket_row);
    for (uint32_t r = 0; r < table_rows; r++) {
        table[r].hash = key_hash(table[r].row, key_length);
        table[r].next = bucket_row[bucket(table[r].hash)];
        bucket_row[bucket(table[r].hash)] = (uint8_t)r;
    }
    return !left_over;
}

// The pre-scan's look at a line: it disables the template lines of the
// table that the line text holds, their last 8 characters compared first,
// as lines that share a template line's key ("HKLM,System\...") mostly
// part from it before its end; and it notes the line.
static void see_line(const char* text, uint32_t count, uint32_t line_start) {
    uint64_t hash = count >= key_length ? key_hash(text, key_length) : 0;
    for (uint8_t r = bucket_row[bucket(hash)]; count >= key_length && r != kNoRow; r = table[r].next) {
        uint32_t length = table[r].length;
        if (table[r].hash != hash || !line_enabled(table[r].row) || length > count) continue;
        if (length >= 8 && folded_word(text + length - 8) != folded_word(table[r].row + length - 8)) continue;
        if (same_text_ignoring_case(text, table[r].row, length)) table[r].row[0] = '\0';
    }
    if (count < 8) return;
    line_notes* noted = notes_of(text);
    if (noted->first == 0) noted->first = line_start + 1;
    noted->last = line_start + 1;
}

void mark_present(template_group* const* groups, uint32_t group_count) {
    for (uint32_t skip = 0, done = 0; !done; skip += kTableRows) {
        done = build_table(groups, group_count, skip);
        __builtin_memset(notes, 0, sizeof notes);
        see_every_line(see_line);
        in_noted = !in_failed;
        input_go_to(0);
    }
}

// ---- Uninstall and looking without writing --------------------------------------------
// Passes the rest of the input, counting the lines that end in kMarker,
// which a copy leaves out.
static uint32_t pass_marked_lines() {
    uint32_t marked = 0;
    line_head head;
    while (head_of_line(&head)) {
        if (!line_is_marked(&head)) {
            pass_line(&head);
            continue;
        }
        marked++;
        if (copying) copy_through(head.start);
        in_next = head.end + 1;
        skip_to(in_next);
    }
    return marked;
}

void strip_marked_lines() {
    if (input_ended()) return;
    begin_copy();
    pass_marked_lines();
    end_copy();
}

uint32_t count_marked_lines() {
    uint32_t marked = pass_marked_lines();
    input_go_to(0);
    return marked;
}

template_count count_present(template_group* const* groups, uint32_t group_count) {
    for (uint32_t g = 0; g < group_count; g++) rearm_group(groups[g]);
    mark_present(groups, group_count);
    template_count count = {0, 0};
    for (uint32_t g = 0; g < group_count; g++)
        for (uint32_t i = 0; i < groups[g]->count; i++, count.total++)
            if (!line_enabled(group_line(groups[g], i))) count.present++;
    return count;
}
