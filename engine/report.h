// Telling the user of a failure: an owner-less box with the error icon.
#ifndef TAMRIX_ENGINE_REPORT_H
#define TAMRIX_ENGINE_REPORT_H

// Shows `head` followed by `tail` (a path, usually), captioned `caption`.
void report_error(const char* head, const char* tail, const char* caption);

#endif
