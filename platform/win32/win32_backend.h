// What the pieces of the Win32 backend share.
#ifndef TAMRIX_PLATFORM_WIN32_BACKEND_H
#define TAMRIX_PLATFORM_WIN32_BACKEND_H

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The module that holds the dialog template; set by the entry point.
extern HINSTANCE win32_instance;

#endif
