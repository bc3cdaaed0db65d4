// The disk image of a run (open_image.cpp): opened, exported through QEMU
// where its format asks, held, and confirmed where it is a real disk.
#ifndef TAMRIX_LINUX_OPEN_IMAGE_H
#define TAMRIX_LINUX_OPEN_IMAGE_H

#include <string>

#include "../disk/image_files.h"

// Opens `image` for the runs: a file (anything else is refused at once); an
// emulator's format exported through QEMU as a raw disk (read-only unless
// `for_changes`; the export ends in front_end_exit), whose partition and
// FAT volume lie inside it; its FAT volume (partition `partition`, or the
// first FAT one when 0) handed to the image backend; and, when the run may
// change it (`for_changes`), checked writable by this user, on a host file
// system with room for a run (else status 3).  `windows_dir` is the folder
// named on the command line (\WINDOWS, C:\WINDOWS or /WINDOWS), or empty
// to find the one in the volume's root; it becomes a path of the image
// backend ("C:\WINDOWS").  Returns exit_done when the run can go on; else
// the user has been told why not, nothing was changed, and the program
// ends with the status returned.
int open_image(const std::string& image, int partition, bool for_changes,
               std::string* windows_dir);
// Takes the lock of the opened image for the rest of the process
// (image_lock): exit_done, or, told to the user, exit_held_elsewhere.
int hold_image();
// A real disk is changed only once the user has seen what it is (its
// model and size) and its Windows folder `windows_dir`, and said so
// (--yes says it): a wrong device name would change another disk.
// exit_done (also for an image file), or exit_declined.
int confirm_device(const std::string& device, const std::string& windows_dir);
// Why a run may not start on `shown`, a folder or an image that `lock` says
// another Tamrix or another program holds.
std::string held_text(image_lock_result lock, const std::string& shown);

#endif
