#include "../system/system.h"
#include "ui.h"

void tamrix_start() {
    if (platform_kind() == 0) {
        box_answer answer =
            platform_message_box(" The OS is not Windows 95 system.\n Continue, anyway?", "Warning",
                                 icon_information, buttons_yes_no);
        if (answer == answer_no) platform_exit(0);
    }
    platform_run_dialog();
    platform_exit(0);
}
