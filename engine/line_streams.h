// The streams under the line engine, the lowest of its three layers (these
// streams, the line scans of line_scan.h, the operations): the input as a
// buffer of the file's bytes that the scans look at in place, and the
// output, which takes bytes as they stand or text whose every LF goes out
// as CR LF.  Inside the engine only.
#ifndef TAMRIX_ENGINE_LINE_STREAMS_H
#define TAMRIX_ENGINE_LINE_STREAMS_H

#include "inf_engine.h"

const char kCtrlZ = 0x1A;
const uint32_t kStreamBufferSize = 65536;

// ---- the input: the variables are described where they are defined ---------------------
extern char* const in_bytes;
extern uint32_t in_base, in_filled, in_next;
extern bool in_noted, in_at_end, in_failed;
// The end-of-input condition: every loop of the engine runs while it is false.
inline bool input_ended() { return in_at_end || in_failed; }
// Where the input stands, as a file offset: between operations, at the
// start of a line or at the end of the text.
inline uint32_t input_here() { return in_base + in_next; }
// Goes to the line that starts at `offset`; clears the end-of-input condition.
void input_go_to(uint32_t offset);
// Makes `want` bytes (at most kStreamBufferSize) from in_next on stand in
// the buffer, unless the file ends first: the unread bytes move to its
// front and more are read behind them.  fill_input: at least one; false at
// the end of the file or on error.
void fill_input_ahead(uint32_t want);
bool fill_input();

// ---- copying the input as it stands ---------------------------------------------------
// While a copy runs, the bytes that the input passes over are written to
// the output before the buffer lets them go.  copy_through(to) writes them
// up to index `to`, skip_to(to) leaves out those before `to` not written
// yet, and end_copy writes them up to in_next.
extern bool copying;
void begin_copy();
void copy_through(uint32_t to);
void skip_to(uint32_t to);
void end_copy();
// In a copy, writes the next `length` bytes of the input without reading
// them: the system copies them from file to file, and the input goes on
// after them.  False, having done nothing, where the system does not.
bool copy_unread(uint32_t length);

// ---- the output ---------------------------------------------------------------------
void write_bytes(const char* data, uint32_t length);
void write_text(const char* text, uint32_t length);
bool output_mid_line();  // what was written does not end in LF

#endif
