// The template groups: the constant text of every line Tamrix adds, and the
// mutable rows the edits work on.  Each table's count and row width stand
// beside it; a compile-time check proves every line fits its row.
#include "inf_templates.h"

// Every line, its marker and LF, and the NUL fit in `width` bytes.
static constexpr bool rows_fit(const char* const* text, uint32_t count, uint32_t width) {
    for (uint32_t i = 0; i < count; i++) {
        uint32_t length = 0;
        while (text[i][length] != '\0') length++;
        if (length + 1 > width) return false;
    }
    return true;
}

#define GROUP(name, count, width, ...)                                      \
    static constexpr const char* const name##_text[count] = {__VA_ARGS__}; \
    static_assert(rows_fit(name##_text, count, width), #name " rows");   \
    static char name##_rows[count][width];                                 \
    static uint32_t name##_lengths[count];                                 \
    template_group name = {&name##_rows[0][0], width, count, name##_text, name##_lengths};

// ---- machine.inf ---------------------------------------------------------------

GROUP(sys_device_lines, 7, 76,
      "%PCI\\VEN_8086&DEV_7110.DeviceDesc%=ISA_DRV,PCI\\VEN_8086&DEV_7110" TAMRIX_MARK,
      "%PCI\\VEN_8086&DEV_7113.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7113" TAMRIX_MARK,
      "%PCI\\VEN_8086&DEV_7100.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7100" TAMRIX_MARK,
      "%PCI\\VEN_8086&DEV_7180.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7180" TAMRIX_MARK,
      "%PCI\\VEN_8086&DEV_7181.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7181" TAMRIX_MARK,
      "%PCI\\VEN_1039&DEV_5571.DeviceDesc%=NO_DRV,PCI\\VEN_1039&DEV_5571" TAMRIX_MARK,
      "%PCI\\VEN_1039&DEV_5597.DeviceDesc%=NO_DRV,PCI\\VEN_1039&DEV_5597" TAMRIX_MARK)

GROUP(pci_addreg_lines, 1, 83,
      "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI,71108086,1,00,00,08,00" TAMRIX_MARK)

GROUP(irq_miniport_lines, 3, 100,
      "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\IRQMiniports\\71108086,Name,,"
      "\"Intel 82371AB\"" TAMRIX_MARK,
      "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\IRQMiniports\\71108086,Path,,"
      "\"PCIMP.PCI\"" TAMRIX_MARK,
      "HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\IRQMiniports\\71108086,Instance,1,"
      "01,00,00,00" TAMRIX_MARK)

// The Intel devices stand in another order here than in sys_device_lines.
GROUP(exclude_lines, 7, 49,
      "ExcludeFromSelect=PCI\\VEN_8086&DEV_7110" TAMRIX_MARK,
      "ExcludeFromSelect=PCI\\VEN_8086&DEV_7113" TAMRIX_MARK,
      "ExcludeFromSelect=PCI\\VEN_8086&DEV_7180" TAMRIX_MARK,
      "ExcludeFromSelect=PCI\\VEN_8086&DEV_7181" TAMRIX_MARK,
      "ExcludeFromSelect=PCI\\VEN_8086&DEV_7100" TAMRIX_MARK,
      "ExcludeFromSelect=PCI\\VEN_1039&DEV_5571" TAMRIX_MARK,
      "ExcludeFromSelect=PCI\\VEN_1039&DEV_5597" TAMRIX_MARK)

GROUP(chipset_string_lines, 7, 90,
      "PCI\\VEN_8086&DEV_7110.DeviceDesc=\"Intel 82371AB PCI to ISA bridge\"" TAMRIX_MARK,
      "PCI\\VEN_8086&DEV_7113.DeviceDesc=\"Intel 82371AB Power Management controller\"" TAMRIX_MARK,
      "PCI\\VEN_8086&DEV_7100.DeviceDesc=\"Intel 82439TX Pentium(r) Process to PCI bridge\""
      TAMRIX_MARK,
      "PCI\\VEN_8086&DEV_7180.DeviceDesc=\"Intel 82443LX Pentium(r) Process to PCI bridge\""
      TAMRIX_MARK,
      "PCI\\VEN_8086&DEV_7181.DeviceDesc=\"Intel 82443LX Pentium(r) Process to AGP bridge\""
      TAMRIX_MARK,
      "PCI\\VEN_1039&DEV_5571.DeviceDesc=\"SIS 5571 Host-to-PCI bridge\"" TAMRIX_MARK,
      "PCI\\VEN_1039&DEV_5597.DeviceDesc=\"SIS 5582 Host-to-PCI bridge\"" TAMRIX_MARK)

// ---- usb.inf ---------------------------------------------------------------------

GROUP(usb_version_lines, 2, 18,
      "[Version]" TAMRIX_MARK,
      "Class=USB" TAMRIX_MARK)

GROUP(usb_manufacturer_lines, 3, 34,
      "[Manufacturer]" TAMRIX_MARK,
      "%Intel.Mfg%=Intel.Section" TAMRIX_MARK,
      "%SIS.Mfg%=SIS.Section" TAMRIX_MARK)

// Holds two section headers.
GROUP(usb_model_lines, 5, 84,
      "[Intel.Section]" TAMRIX_MARK,
      "%PCI\\VEN_8086&DEV_7020.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7020" TAMRIX_MARK,
      "%PCI\\VEN_8086&DEV_7112.DeviceDesc%=NO_DRV,PCI\\VEN_8086&DEV_7112" TAMRIX_MARK,
      "[SIS.Section]" TAMRIX_MARK,
      "%PCI\\VEN_1039&DEV_7001.DeviceDesc%=NO_DRV,PCI\\VEN_1039&DEV_7001" TAMRIX_MARK)

GROUP(usb_string_lines, 6, 98,
      "[Strings]" TAMRIX_MARK,
      "Intel.Mfg=Intel" TAMRIX_MARK,
      "PCI\\VEN_8086&DEV_7020.DeviceDesc=\"Intel 82371SB PCI to USB Universal Host Controller\""
      TAMRIX_MARK,
      "PCI\\VEN_8086&DEV_7112.DeviceDesc=\"Intel 82371AB PCI to USB Universal Host Controller\""
      TAMRIX_MARK,
      "SIS.Mfg=Silicon Integrated Systems" TAMRIX_MARK,
      "PCI\\VEN_1039&DEV_7001.DeviceDesc=\"SiS 7001 PCI to USB Open Host Controller\"" TAMRIX_MARK)
