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

// ---- copying ----------------------------------------------------------------------

bool copy_until_anchor(const char* anchor) {
    if (anchor == nullptr) {
        copy_input_to(nullptr);
        return false;
    }
    input_position anchor_line;
    if (!found_ahead(anchor, text_length(anchor), &anchor_line)) return false;
    // The lines before the anchor line are copied; the anchor line is not.
    copy_input_to(&anchor_line);
    return !input_failed();
}

bool copy_through_header(const char* header) {
    input_position header_line;
    if (!found_ahead(header, text_length(header), &header_line)) return false;
    copy_input_to(&header_line);
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

// ---- the pre-scan and Uninstall -------------------------------------------------------

void mark_present(template_group* const* groups, uint32_t group_count) {
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
    input_go_to(input_position{0, false});
}

void strip_marked_lines() {
    while (!input_ended())
        if (read_piece(&line) && !is_marked(&line)) write_line(&line);
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
