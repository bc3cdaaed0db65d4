// One way for the Linux program to tell the user something of its own,
// with one caption, "Tamrix": in the dialog a box, for a command a line,
// "Tamrix: text" (errors on standard error, the rest where lines for people
// go).  The core's boxes take the same way with their own captions
// (platform_message_box, as front_end.cpp installs it), so every message
// of the program reads "Caption: text".  The words shared by many messages
// are written once in disk/refusal_words.h.
#ifndef TAMRIX_LINUX_VOICE_H
#define TAMRIX_LINUX_VOICE_H

#include <string>

#include "../platform/platform.h"

// A message of the program's own, as the run shows its boxes.
void tell(const std::string& text, box_icon icon = icon_error);
// A Yes/No question of the program's own, answered as the run answers them.
box_answer ask(const std::string& question);
// The same as a line, where no box can be shown: before the run's way of
// showing things is known, or once the terminal has been given back.
void tell_on_line(const std::string& text, box_icon icon = icon_error);

#endif
