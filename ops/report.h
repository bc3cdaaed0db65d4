// Telling the user of a failure: an owner-less box with the error icon.
#ifndef TAMRIX_OPS_REPORT_H
#define TAMRIX_OPS_REPORT_H

// Shows `head` followed by `path` as the system shows paths (empty: none),
// captioned `caption`.
void report_error(const char* head, const char* path, const char* caption);

#endif
