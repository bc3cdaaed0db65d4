#include "system.h"

// VER_PLATFORM_WIN32_WINDOWS: Windows 95 and its successors 98 and Me.
const uint32_t kWin32Windows = 1;

int windows_kind(uint32_t platform_id, const char* service_string) {
    if (platform_id != kWin32Windows) return 0;
    return service_string[0] == '\0' ? 1 : 2;
}
