// The INF line engine: streams an INF text from `in_file` to `out_file` line
// by line, copying what it reads, inserting template lines at anchor lines,
// and removing again the lines it once inserted (those ending in kMarker).
//
// Both streams are text streams.  Reading turns CR LF into LF, keeps a lone
// CR, and stops for good at the first Ctrl-Z (0x1A); writing turns every LF
// into CR LF and adds nothing at the end.  A line is read in pieces of at
// most kPieceLimit characters; a longer line arrives as several pieces, and
// every piece after the first is a continuation that the engine copies but
// never matches, never counts as present and never strips.  Nothing but
// fixed buffers is held in memory, whatever the size of the file.
#ifndef TAMRIX_ENGINE_INF_ENGINE_H
#define TAMRIX_ENGINE_INF_ENGINE_H

#include "../platform/platform.h"

// The ownership marker that ends every line Tamrix adds: an INF comment.
#define TAMRIX_MARK ";Tamrix\n"
extern const char kMarker[];
const uint32_t kMarkerLength = 8;

// A line buffer of 255 characters, NUL included, delivers at most 254.
const uint32_t kPieceLimit = 254;

// ---- streams ----------------------------------------------------------------
// The engine takes over an open file and reads or writes it from its start.
// Given kNoFile for output, it throws away what is written and closes with
// false: an edit is run for what its searches find (count_chipset_lines).
void attach_input(platform_file file);
void attach_output(platform_file file);
// True when the input starts with a UTF-16 byte-order mark (FF FE or FE FF),
// which no 8-bit INF text does.  Call right after attach_input.
bool input_is_utf16();
// True once a read of the input has failed.  The loops then end as if the
// input had ended, and the edit must be thrown away.
bool input_failed();
// close_output writes what is still buffered, forces the file onto the disk
// and returns false if any write, the flush or the close failed.
void close_input();
bool close_output();

// ---- template lines and groups ------------------------------------------------
// A fixed, ordered list of template lines, each ending in kMarker, stored as
// `count` mutable rows of `width` bytes.  A row is enabled while its first
// byte is not NUL; disabling it stores NUL there.  rearm_group copies the
// constant lines of `text` back into the rows and measures them into
// `lengths` for the pre-scan.
struct template_group {
    char* rows;
    uint32_t width;
    uint32_t count;
    const char* const* text;
    uint32_t* lengths;
};
void rearm_group(template_group* group);
const char* group_line(const template_group* group, uint32_t index);
bool line_enabled(const char* line);

// ---- the operations -----------------------------------------------------------
// Copies lines up to the first one, from here on, whose text matches
// `anchor`, and returns true with the input standing in front of that line.
// Returns false, having written nothing and moved nothing, when no line
// matches.  A null anchor copies the rest of the input and returns false.
bool copy_until_anchor(const char* anchor);
// Copies lines up to and including the first one, from here on, whose text
// matches `header` (all of it, when it is longer than a piece), and returns
// true.  Returns false, having written and moved nothing, when none matches.
bool copy_through_header(const char* header);
// Writes one template line, or a group's, when enabled, in order.  Template
// lines always start a line: after output that does not end in LF, an LF is
// written first.
void write_template_line(const char* line);
void write_group(const template_group* group);
// The pre-scan: disables every template line of the groups that some line of
// the whole input already holds (less its marker).  Leaves the input at its
// start.
void mark_present(template_group* const* groups, uint32_t group_count);
// Copies the whole input without the lines that end in kMarker.
void strip_marked_lines();

// ---- looking without writing: both read the whole input and leave it at its start
// The lines of some groups, and how many of them the input already holds:
// those that the pre-scan, over the rearmed groups, disables.
struct template_count {
    uint32_t present;
    uint32_t total;
};
template_count count_present(template_group* const* groups, uint32_t group_count);
// The lines that end in kMarker, as strip_marked_lines would remove them.
uint32_t count_marked_lines();

#endif
