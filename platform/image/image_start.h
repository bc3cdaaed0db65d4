// Readying the disk image of the command line (--image) before the dialog
// or a command starts: its FAT volume found and handed to the image
// backend, the Windows folder in it named or found, and, without
// --platform-kind, the kind of Windows read from its SYSTEM.DAT.
#ifndef TAMRIX_PLATFORM_IMAGE_IMAGE_START_H
#define TAMRIX_PLATFORM_IMAGE_IMAGE_START_H

#include "../posix/posix_options.h"

// Fills in `run`'s Windows folder ("C:\WINDOWS", a path of the image
// backend) and platform kind.  Returns 0 when the run can go on; else the
// user has been told why not, nothing was changed, and the program ends
// with the status returned.
int image_start(command_line* run);

#endif
