#include "report.h"

#include "../platform/platform.h"
#include "../engine/text.h"

// Room for the longest head with a path that was itself too long for its
// buffer; a longer text is cut off rather than overflowing.
static char report_text[1024];  // the text of the box being shown
static char shown_path[1024];   // its path, as the user sees paths

void report_error(const char* head, const char* path, const char* caption) {
    platform_shown_path(path, shown_path, sizeof shown_path);
    join_text(report_text, sizeof report_text, head, shown_path);
    platform_message_box(report_text, caption, icon_error, buttons_ok);
}
