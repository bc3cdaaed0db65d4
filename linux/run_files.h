// The files of the Linux program's runs: a Windows folder on a Linux file
// system (posix_files.h) or inside a disk image (disk/: the paths
// of its drive C:, such as "C:\WINDOWS"), one run at a time, and runs that
// an interruption cannot cut in half (base/interruptions.h).
#ifndef TAMRIX_LINUX_RUN_FILES_H
#define TAMRIX_LINUX_RUN_FILES_H

// Makes the seam's file calls those of the runs (platform_files), each on
// the table of its path's or file's place: the attached image or a folder.
void install_run_files();
// The lock of one run (platform_begin_run, platform_end_run): on the INF
// folder of a Linux folder, or on the image file; false, told to the user,
// where another Tamrix or another program holds it.
bool run_files_begin(const char* inf_folder);
void run_files_end();

#endif
