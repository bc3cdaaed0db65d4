// The files of the Linux program's runs: a Windows folder on a Linux file
// system (posix_files.h) or inside a disk image (disk/: the paths
// of its drive C:, such as "C:\WINDOWS"), one run at a time, and runs that
// an interruption cannot cut in half (posix_interruptions.h).  The seam's
// platform_begin_run and its kin come from posix_run_files.cpp too.
#ifndef TAMRIX_PLATFORM_POSIX_POSIX_RUN_FILES_H
#define TAMRIX_PLATFORM_POSIX_POSIX_RUN_FILES_H

// Makes the seam's file calls those of the runs (platform_files): each
// path, and each file, goes to the table of its place, the attached
// image's (image_file_backend) or a Linux folder's (folder_file_backend),
// chosen here once for each call.
void posix_install_run_files();

#endif
