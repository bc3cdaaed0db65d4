// Message boxes, the Windows directory, the registry and the restart, on the
// Win32 calls of Windows 95.
#include "win32_backend.h"

#include "../platform.h"

// ---- messages and the system -----------------------------------------------

// The boxes have no owner, so without MB_TASKMODAL the dialog would stay
// enabled under them, and a second click on a button would start a second
// command inside the first.
box_answer platform_message_box(const char* text, const char* caption,
                                box_icon icon, box_buttons buttons) {
    UINT style = MB_TASKMODAL | (buttons == buttons_yes_no ? MB_YESNO : MB_OK);
    switch (icon) {
    case icon_none: break;
    case icon_error: style |= MB_ICONHAND; break;
    case icon_question: style |= MB_ICONQUESTION; break;
    case icon_information: style |= MB_ICONINFORMATION; break;
    }
    int answer = MessageBoxA(0, text, caption, style);
    if (buttons == buttons_ok)
        return answer_ok;
    // A box that could not be shown counts as No: nothing is done.
    return answer == IDYES ? answer_yes : answer_no;
}

uint32_t platform_windows_dir(char* buffer, uint32_t size) {
    return GetWindowsDirectoryA(buffer, size);
}

// ---- registry -----------------------------------------------------------------

static HKEY hkey_of(platform_key key) {
    return reinterpret_cast<HKEY>(key);
}

platform_key platform_local_machine() {
    return reinterpret_cast<platform_key>(HKEY_LOCAL_MACHINE);
}

bool platform_reg_open(platform_key parent, const char* subkey, platform_key* key) {
    HKEY opened = 0;
    if (RegOpenKeyA(hkey_of(parent), subkey, &opened) != ERROR_SUCCESS)
        return false;
    *key = reinterpret_cast<platform_key>(opened);
    return true;
}

bool platform_reg_enum_key(platform_key key, uint32_t index, char* name, uint32_t size) {
    return RegEnumKeyA(hkey_of(key), index, name, size) == ERROR_SUCCESS;
}

bool platform_reg_delete_key(platform_key key, const char* subkey) {
    return RegDeleteKeyA(hkey_of(key), subkey) == ERROR_SUCCESS;
}

void platform_reg_close(platform_key key) {
    RegCloseKey(hkey_of(key));
}

// ---- restart --------------------------------------------------------------------

// Windows NT and its successors restart only for a process that holds the
// shutdown privilege.  The token functions are looked up at run time, so the
// executable imports none of them and still loads on Windows 95, whose
// ADVAPI32 does not implement them: there the first call fails and nothing
// else is tried.
typedef BOOL(WINAPI* open_process_token_fn)(HANDLE, DWORD, PHANDLE);
typedef BOOL(WINAPI* lookup_privilege_value_fn)(LPCSTR, LPCSTR, PLUID);
typedef BOOL(WINAPI* adjust_token_privileges_fn)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD,
                                                 PTOKEN_PRIVILEGES, PDWORD);

static void enable_shutdown_privilege() {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    if (advapi == 0)
        advapi = LoadLibraryA("advapi32.dll");
    if (advapi == 0)
        return;
    open_process_token_fn open_process_token =
        reinterpret_cast<open_process_token_fn>(
            reinterpret_cast<void*>(GetProcAddress(advapi, "OpenProcessToken")));
    lookup_privilege_value_fn lookup_privilege_value =
        reinterpret_cast<lookup_privilege_value_fn>(
            reinterpret_cast<void*>(GetProcAddress(advapi, "LookupPrivilegeValueA")));
    adjust_token_privileges_fn adjust_token_privileges =
        reinterpret_cast<adjust_token_privileges_fn>(
            reinterpret_cast<void*>(GetProcAddress(advapi, "AdjustTokenPrivileges")));
    if (open_process_token == 0 || lookup_privilege_value == 0 || adjust_token_privileges == 0)
        return;

    HANDLE token = 0;
    if (!open_process_token(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (lookup_privilege_value(0, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        adjust_token_privileges(token, FALSE, &privileges, 0, 0, 0);
    CloseHandle(token);
}

bool platform_can_restart() { return true; }

void platform_restart() {
    enable_shutdown_privilege();
    ExitWindowsEx(EWX_REBOOT, 0);
}
