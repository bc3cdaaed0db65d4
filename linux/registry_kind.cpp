// The kind of Windows being patched, where the command line names none:
// what the Windows folder's SYSTEM.DAT records, VersionNumber and
// SubVersionNumber under HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion,
// read as Windows' own GetVersionExA would report them (system.h).
//
// In a disk image the kind is always read, and a command says what was
// found.  In a folder of this system without SYSTEM.DAT nothing is said:
// the kind stays 0, and the start-up warning asks, as Linux is no
// Windows 95.
#include "registry_kind.h"

#include <stdio.h>

#include <string>

#include "../platform/posix/offline_registry.h"
#include "../system/system.h"
#include "front_end.h"
#include "message_lines.h"
#include "voice.h"

int registry_windows_kind() {
    std::string why, version, service;
    registry_reading reading = run_registry_read(&why);
    if (reading == registry_absent && !invocation.has_image) return 0;
    bool found =
        reading == registry_read && offline_registry_version(run_registry(), &version, &service);
    if (reading == registry_absent)
        why = "no SYSTEM.DAT in its Windows folder";
    else if (reading == registry_refused)
        why = "SYSTEM.DAT: not read as a registry: " + why;
    else if (!found)
        why = "SYSTEM.DAT records no VersionNumber";
    // A registry in the CREG format is that of Windows 95, 98 or Me.
    int kind = found ? windows_kind(kWin32Windows, service.c_str()) : 0;
    std::string text = std::string("Windows in the ") + (invocation.has_image ? "image" : "folder") +
                       ": ";
    if (!found)
        text += "unknown (" + why + "): platform kind 0";
    else
        text += "version " + version +
                (service.empty() ? ", no service string" : ", service string \"" + service + "\"") +
                ": platform kind " + std::to_string(kind);
    // The dialog says it where the start-up warning follows, and why.
    if (invocation.mode != mode_dialog) {
        fprintf(lines_for_people(), "%s\n", text.c_str());
        fflush(lines_for_people());
    } else if (kind == 0) {
        tell(text, icon_information);
    }
    return kind;
}
