// Uninstall's edit, the same for machine.inf and usb.inf on every kind of
// Windows: every line that ends in the marker goes.
#include "inf_templates.h"

void uninstall_inf(int) { strip_marked_lines(); }
