#include "system.h"

int windows_kind(uint32_t platform_id, const char* service_string) {
    if (platform_id != kWin32Windows) return 0;
    return service_string[0] == '\0' ? 1 : 2;
}
