// The two text streams under the line engine, in_file and out_file.  Inside
// the engine only; the rest of the program sees engine/inf_engine.h.
#ifndef TAMRIX_ENGINE_LINE_STREAMS_H
#define TAMRIX_ENGINE_LINE_STREAMS_H

#include "inf_engine.h"

// One read of the input: a whole line with its LF, or a piece of a longer
// one.  It carries its length, so a NUL byte is an ordinary character.
struct line_piece {
    char text[kPieceLimit + 1];
    uint32_t length;
    bool continuation;  // a later piece of a line longer than kPieceLimit
};

// Where a line starts, so that reading can come back to it.
struct input_position {
    uint32_t offset;  // byte offset in the file
    bool mid_line;    // the piece before it did not end a line
};

// The end-of-input condition: true once a read found no more data (or a
// read failed).  Every loop of the engine runs while it is false.
bool input_ended();

// Empties the piece, then reads up to kPieceLimit characters, stopping after
// an LF.  False when nothing was left to read.
bool read_piece(line_piece* piece);

input_position input_here();
// Goes back (or forward) to a position; clears the end-of-input condition.
void input_go_to(input_position position);

// True when the last piece read did not end its line.
bool input_mid_line();

// Copies the input from here on up to `stop` (to its end when null) straight
// to the output, exactly as reading it piece by piece and writing every
// piece would, but without cutting it into pieces.
void copy_input_to(const input_position* stop);

void write_text(const char* text, uint32_t length);
// True when something has been written and it does not end in LF.
bool output_mid_line();

#endif
