// The benchmark's seam (bench_platform.cpp): the files of a Linux folder,
// and the Windows directory the core asks for.
#ifndef TAMRIX_BENCH_BENCH_PLATFORM_H
#define TAMRIX_BENCH_BENCH_PLATFORM_H

#include <string>

#include "../platform/platform.h"

// The Windows directory that platform_windows_dir gives from now on.
void bench_set_windows_dir(const std::string& dir);

#endif
