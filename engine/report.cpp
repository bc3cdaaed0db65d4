#include "report.h"

#include "../platform/platform.h"
#include "text.h"

// Room for the longest head with a path that was itself too long for its
// buffer; a longer text is cut off rather than overflowing.
static char report_text[1024];  // the text of the box being shown

void report_error(const char* head, const char* tail, const char* caption) {
    join_text(report_text, sizeof report_text, head, tail);
    platform_message_box(report_text, caption, icon_error, buttons_ok);
}
