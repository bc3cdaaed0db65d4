// The files of the Linux program's runs: a Windows folder on a Linux file
// system (posix_files.h) or inside a disk image (disk/: the paths
// of its drive C:, such as "C:\WINDOWS"), one run at a time, and runs that
// an interruption cannot cut in half (base/interruptions.h).  The seam's
// platform_begin_run and its kin come from posix_run_files.cpp too.
#ifndef TAMRIX_LINUX_POSIX_RUN_FILES_H
#define TAMRIX_LINUX_POSIX_RUN_FILES_H

// Makes the seam's file calls those of the runs (platform_files), each on
// the table of its path's or file's place: the attached image or a folder.
void posix_install_run_files();

#endif
