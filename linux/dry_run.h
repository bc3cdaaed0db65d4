// "--dry-run" (dry_run.cpp).
#ifndef TAMRIX_LINUX_DRY_RUN_H
#define TAMRIX_LINUX_DRY_RUN_H

#include "../ops/inf_runs.h"

// What Install or Uninstall would write, as a unified diff; the exit status.
int show_dry_run(selection chosen, bool install);

#endif
