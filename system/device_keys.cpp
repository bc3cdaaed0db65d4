// Making Windows detect the edited devices again: their enumeration keys go,
// and at its next start the system finds the devices anew, this time
// described by the edited INF files.
#include "../engine/text.h"
#include "../platform/platform.h"
#include "system.h"

const char* const kDeviceKeys[] = {
    "Enum\\PCI\\VEN_8086&DEV_7110", "Enum\\PCI\\VEN_8086&DEV_7100", "Enum\\PCI\\VEN_8086&DEV_7113",
    "Enum\\PCI\\VEN_8086&DEV_7180", "Enum\\PCI\\VEN_8086&DEV_7181", "Enum\\PCI\\VEN_8086&DEV_7112",
    "Enum\\PCI\\VEN_8086&DEV_7020", "Enum\\PCI\\VEN_1039&DEV_7001", "Enum\\PCI\\VEN_1039&DEV_5571",
    "Enum\\PCI\\VEN_1039&DEV_5597",
};
static_assert(sizeof kDeviceKeys / sizeof kDeviceKeys[0] == kDeviceKeyCount, "ten devices");

// Registry key names are at most 255 characters.
const uint32_t kKeyNameSize = 256;

// Windows NT refuses to delete a key that has subkeys: empty it first,
// depth first.  A subkey that cannot be deleted ends the loop, which would
// otherwise find it again for ever.
static void delete_subkeys(platform_key parent, const char* subkey) {
    platform_key key;
    if (!platform_reg_open(parent, subkey, &key)) return;
    char name[kKeyNameSize];
    while (platform_reg_enum_key(key, 0, name, sizeof name)) {
        delete_subkeys(key, name);
        if (!platform_reg_delete_key(key, name)) break;
    }
    platform_reg_close(key);
}

int delete_registry_key(platform_key root, const char* subkey) {
    platform_key key;
    if (!platform_reg_open(root, nullptr, &key)) return 0;
    // Windows 95 and 98 remove the key with all its subkeys in this one
    // call.  Where it is refused (Windows NT, and emulators of 95 that
    // delete as NT does), the subkeys go first and the key after them.
    if (!platform_reg_delete_key(key, subkey)) {
        delete_subkeys(key, subkey);
        platform_reg_delete_key(key, subkey);
    }
    platform_reg_close(key);
    return 1;
}

bool delete_device_keys() {
    bool reached = true;
    for (uint32_t i = 0; i < kDeviceKeyCount; i++)
        if (delete_registry_key(platform_local_machine(), kDeviceKeys[i]) == 0) reached = false;
    return reached;
}

const char kRemoveInDeviceManager[] =
    "At its next start, remove these devices in Device Manager, then restart it:";

// A Windows folder patched from another system has no registry at hand, and
// restarting this computer would not help it: the user removes the devices
// at that Windows' next start instead.
static void explain_offline_detection() {
    static char text[1024];  // the note, with one line per device
    text[0] = '\0';
    append_text(text, sizeof text,
                "The Windows being patched is not running here, so its devices could not be "
                "reset.\n");
    append_text(text, sizeof text, kRemoveInDeviceManager);
    // Device Manager names a device by its key under Enum.
    const uint32_t kEnumPrefixLength = sizeof "Enum\\" - 1;
    for (uint32_t i = 0; i < kDeviceKeyCount; i++) {
        append_text(text, sizeof text, "\n    ");
        append_text(text, sizeof text, kDeviceKeys[i] + kEnumPrefixLength);
    }
    platform_message_box(text, "Finish", icon_information, buttons_ok);
}

void finish_changes() {
    bool registry_at_hand = delete_device_keys();
    // Where no restart can be offered (the Windows patched is not running),
    // the answer is No, and the user is told when the change takes effect.
    box_answer answer = answer_no;
    if (platform_can_restart())
        answer = platform_message_box(
            "You must restart your computer.\n Do you want to restart your computer now?",
            "Finish", icon_none, buttons_yes_no);
    else
        platform_message_box("The changes take effect when the Windows being patched next starts.",
                             "Finish", icon_information, buttons_ok);
    if (!registry_at_hand)
        explain_offline_detection();
    else if (answer == answer_yes)
        platform_restart();
}
