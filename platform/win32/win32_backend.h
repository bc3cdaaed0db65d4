// What the pieces of the Win32 backend share: the system's header, lean.
#ifndef TAMRIX_PLATFORM_WIN32_BACKEND_H
#define TAMRIX_PLATFORM_WIN32_BACKEND_H

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#endif
