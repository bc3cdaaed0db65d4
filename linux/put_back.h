// A swap cut off by a crash, put back before a run (put_back.cpp).
#ifndef TAMRIX_LINUX_PUT_BACK_H
#define TAMRIX_LINUX_PUT_BACK_H

#include <string>

#include "../ops/inf_replace.h"

// Before a run reads anything of the Windows folder: where a swap of
// SYSTEM.DAT or an INF file was cut off between its renames, the file gets
// its name back (file_swap.h), under the lock of a run, and one line says
// what was put back, or that it could not be.  Where the run may not
// change the files (`status` reads QEMU's export of an image read-only),
// nothing is tried: one line says that the next Install or Uninstall puts
// them back, and `status` reports them missing.
void put_back_cut_off_swaps(bool may_change);
// Where the INF file `target`, or SYSTEM.DAT, is still missing with the
// old file in its backup (it could not be put back), the backup's name;
// else "".  Status then counts nothing in it.
std::string inf_left_in_backup(inf_target target);
std::string registry_left_in_backup();

#endif
