// The benchmark's stand-ins for the parts of the platform seam that are not
// files: the files themselves come from the POSIX backend.
#ifndef TAMRIX_BENCH_BENCH_PLATFORM_H
#define TAMRIX_BENCH_BENCH_PLATFORM_H

// The folder that platform_windows_dir reports from now on.
void bench_set_windows_dir(const char* path);

#endif
