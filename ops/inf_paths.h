// Full paths under the Windows directory.  Inside ops/ only.
#ifndef TAMRIX_OPS_INF_PATHS_H
#define TAMRIX_OPS_INF_PATHS_H

#include "inf_replace.h"

// Builds windows_dir followed by `relative` in `path` (kPathSize bytes),
// appended as it stands.  A path that does not fit is reported ("Path too
// long: ") and gives false.
bool build_path(char* path, const char* relative);

// Tells the user that `dir` followed by `relative` did not fit a path.
void report_too_long(const char* dir, const char* relative);

#endif
