// The Linux program's own messages (see voice.h).
#include "voice.h"

#include "message_lines.h"

// The caption of every message of the program's own: its name.
static const char kCaption[] = "Tamrix";

void tell(const std::string& text, box_icon icon) {
    platform_message_box(text.c_str(), kCaption, icon, buttons_ok);
}

box_answer ask(const std::string& question) {
    return platform_message_box(question.c_str(), kCaption, icon_question, buttons_yes_no);
}

void tell_on_line(const std::string& text, box_icon icon) {
    print_box_line(text.c_str(), kCaption, icon, nullptr);
}
