#include "system.h"

// VER_PLATFORM_WIN32_WINDOWS: Windows 95 and its successors 98 and Me.
const uint32_t kWin32Windows = 1;

int platform_kind() {
    platform_version version;
    version.platform_id = 0;
    version.service_string[0] = '\0';
    platform_query_version(&version);
    if (version.platform_id != kWin32Windows) return 0;
    return version.service_string[0] == '\0' ? 1 : 2;
}
