"""Shared pieces of the end-to-end tests of the Linux program `tamrix`.

The INF texts below are written by hand: the inputs are small INF files of
the usual layout, and each expected output is the input with the lines
that Install adds (or removes) put in by hand at the places the merges
choose.  Files are written and compared as bytes, CR LF on disk.
"""

import os
import shutil
import stat
import subprocess
import tempfile


def crlf(*lines):
    """The bytes of a text file made of `lines`, each ending in CR LF."""
    return b"".join(line.encode("latin-1") + b"\r\n" for line in lines)


# ---- machine.inf ----------------------------------------------------------------

MACHINE_HEAD = [
    "[Version]",
    'Signature="$CHICAGO$"',
    "Class=System",
    "",
    "[Manufacturer]",
    "%Std_Mfg%=MS_SYS",
    "",
    "[MS_SYS]",
    "%*PNP0C01.DeviceDesc%=NO_DRV,*PNP0C01",
]
MACHINE_MS_SYS_PCI = [
    r"%PCI\VEN_8086&DEV_1230.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_1230",
    "",
    "[PCI_DRV_AddReg]",
    "HKR,,DevLoader,,*CONFIGMG",
]
MACHINE_PCI_VALUE = [
    r"HKLM,System\CurrentControlSet\Services\VxD\PCI,12308086,1,00,00,00,00",
]
MACHINE_IRQ_ROUTER = [
    r'HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\122E8086,Name,,"Intel 82371FB"',
    "",
    "[ControlFlags]",
    "ExcludeFromSelect=*PNP0C01",
]
MACHINE_EXCLUDE = [
    r"ExcludeFromSelect=PCI\VEN_8086&DEV_1230",
    "",
    "[Strings]",
    'Std_Mfg="(Standard system devices)"',
]
MACHINE_STRINGS = [
    r'PCI\VEN_8086&DEV_1230.DeviceDesc="Intel 82437FX Pentium(r) Processor to PCI bridge"',
]

# The lines Install adds, group by group, marker included.
SYS_DEVICE_LINES = [
    r"%PCI\VEN_8086&DEV_7110.DeviceDesc%=ISA_DRV,PCI\VEN_8086&DEV_7110;Tamrix",
    r"%PCI\VEN_8086&DEV_7113.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7113;Tamrix",
    r"%PCI\VEN_8086&DEV_7100.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7100;Tamrix",
    r"%PCI\VEN_8086&DEV_7180.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7180;Tamrix",
    r"%PCI\VEN_8086&DEV_7181.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7181;Tamrix",
    r"%PCI\VEN_1039&DEV_5571.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_5571;Tamrix",
    r"%PCI\VEN_1039&DEV_5597.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_5597;Tamrix",
]
PCI_ADDREG_LINES = [
    r"HKLM,System\CurrentControlSet\Services\VxD\PCI,71108086,1,00,00,08,00;Tamrix",
]
IRQ_MINIPORT_LINES = [
    r'HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Name,,"Intel 82371AB";Tamrix',
    r'HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Path,,"PCIMP.PCI";Tamrix',
    r"HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Instance,1,01,00,00,00;Tamrix",
]
EXCLUDE_LINES = [
    r"ExcludeFromSelect=PCI\VEN_8086&DEV_7110;Tamrix",
    r"ExcludeFromSelect=PCI\VEN_8086&DEV_7113;Tamrix",
    r"ExcludeFromSelect=PCI\VEN_8086&DEV_7180;Tamrix",
    r"ExcludeFromSelect=PCI\VEN_8086&DEV_7181;Tamrix",
    r"ExcludeFromSelect=PCI\VEN_8086&DEV_7100;Tamrix",
    r"ExcludeFromSelect=PCI\VEN_1039&DEV_5571;Tamrix",
    r"ExcludeFromSelect=PCI\VEN_1039&DEV_5597;Tamrix",
]
CHIPSET_STRING_LINES = [
    r'PCI\VEN_8086&DEV_7110.DeviceDesc="Intel 82371AB PCI to ISA bridge";Tamrix',
    r'PCI\VEN_8086&DEV_7113.DeviceDesc="Intel 82371AB Power Management controller";Tamrix',
    r'PCI\VEN_8086&DEV_7100.DeviceDesc="Intel 82439TX Pentium(r) Process to PCI bridge";Tamrix',
    r'PCI\VEN_8086&DEV_7180.DeviceDesc="Intel 82443LX Pentium(r) Process to PCI bridge";Tamrix',
    r'PCI\VEN_8086&DEV_7181.DeviceDesc="Intel 82443LX Pentium(r) Process to AGP bridge";Tamrix',
    r'PCI\VEN_1039&DEV_5571.DeviceDesc="SIS 5571 Host-to-PCI bridge";Tamrix',
    r'PCI\VEN_1039&DEV_5597.DeviceDesc="SIS 5582 Host-to-PCI bridge";Tamrix',
]

MACHINE_INF = crlf(*MACHINE_HEAD, *MACHINE_MS_SYS_PCI, *MACHINE_PCI_VALUE,
                   *MACHINE_IRQ_ROUTER, *MACHINE_EXCLUDE, *MACHINE_STRINGS)

# Each group in front of the first entry line of its kind.
MACHINE_INF_INSTALLED = crlf(
    *MACHINE_HEAD, *SYS_DEVICE_LINES, *MACHINE_MS_SYS_PCI, *PCI_ADDREG_LINES,
    *MACHINE_PCI_VALUE, *MACHINE_IRQ_ROUTER, *EXCLUDE_LINES, *MACHINE_EXCLUDE,
    *CHIPSET_STRING_LINES, *MACHINE_STRINGS)

# Platform kind 2: the IRQ router lines go in front of the first IRQMiniports line.
MACHINE_INF_INSTALLED_KIND2 = crlf(
    *MACHINE_HEAD, *SYS_DEVICE_LINES, *MACHINE_MS_SYS_PCI, *PCI_ADDREG_LINES,
    *MACHINE_PCI_VALUE, *IRQ_MINIPORT_LINES, *MACHINE_IRQ_ROUTER, *EXCLUDE_LINES,
    *MACHINE_EXCLUDE, *CHIPSET_STRING_LINES, *MACHINE_STRINGS)

# ---- usb.inf --------------------------------------------------------------------

USB_INF = crlf(
    "[Version]",
    'Signature="$CHICAGO$"',
    "Class=USB",
    "",
    "[Manufacturer]",
    "%Intel.Mfg%=Intel.Section",
    "",
    "[Intel.Section]",
    r"%PCI\VEN_8086&DEV_7020.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7020",
    "",
    "[Strings]",
    'Intel.Mfg="Intel"',
)

# The lines the file holds are not added again; each group follows its
# header, and the new [SIS.Section] opens where the Intel section ends.
USB_INF_INSTALLED = crlf(
    "[Version]",
    'Signature="$CHICAGO$"',
    "Class=USB",
    "",
    "[Manufacturer]",
    "%SIS.Mfg%=SIS.Section;Tamrix",
    "%Intel.Mfg%=Intel.Section",
    "",
    "[Intel.Section]",
    r"%PCI\VEN_8086&DEV_7112.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7112;Tamrix",
    r"%PCI\VEN_8086&DEV_7020.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7020",
    "",
    "[SIS.Section];Tamrix",
    r"%PCI\VEN_1039&DEV_7001.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_7001;Tamrix",
    "[Strings]",
    "Intel.Mfg=Intel;Tamrix",
    r'PCI\VEN_8086&DEV_7020.DeviceDesc="Intel 82371SB PCI to USB Universal Host Controller";Tamrix',
    r'PCI\VEN_8086&DEV_7112.DeviceDesc="Intel 82371AB PCI to USB Universal Host Controller";Tamrix',
    "SIS.Mfg=Silicon Integrated Systems;Tamrix",
    r'PCI\VEN_1039&DEV_7001.DeviceDesc="SiS 7001 PCI to USB Open Host Controller";Tamrix',
    'Intel.Mfg="Intel"',
)

# A usb.inf made by Install where there was none: the 16 template lines.
USB_INF_NEW = crlf(
    "[Version];Tamrix",
    "Class=USB;Tamrix",
    "[Manufacturer];Tamrix",
    "%Intel.Mfg%=Intel.Section;Tamrix",
    "%SIS.Mfg%=SIS.Section;Tamrix",
    "[Intel.Section];Tamrix",
    r"%PCI\VEN_8086&DEV_7020.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7020;Tamrix",
    r"%PCI\VEN_8086&DEV_7112.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7112;Tamrix",
    "[SIS.Section];Tamrix",
    r"%PCI\VEN_1039&DEV_7001.DeviceDesc%=NO_DRV,PCI\VEN_1039&DEV_7001;Tamrix",
    "[Strings];Tamrix",
    "Intel.Mfg=Intel;Tamrix",
    r'PCI\VEN_8086&DEV_7020.DeviceDesc="Intel 82371SB PCI to USB Universal Host Controller";Tamrix',
    r'PCI\VEN_8086&DEV_7112.DeviceDesc="Intel 82371AB PCI to USB Universal Host Controller";Tamrix',
    "SIS.Mfg=Silicon Integrated Systems;Tamrix",
    r'PCI\VEN_1039&DEV_7001.DeviceDesc="SiS 7001 PCI to USB Open Host Controller";Tamrix',
)

# ---- the messages, as the command line prints them ---------------------------

COMPLETED = "OK:  The utility has updated completely!"
UNINSTALLED = "OK: The utility has uninstalled completely!"
WARNING = "Warning:  The OS is not Windows 95 system. /  Continue, anyway? [Yes/No] "
RESTART = ("Finish: You must restart your computer. /  Do you want to restart your "
           "computer now? [Yes/No] ")
# The ten devices whose enumeration keys Exit deletes, in their order.
DEVICES = [
    r"PCI\VEN_8086&DEV_7110", r"PCI\VEN_8086&DEV_7100", r"PCI\VEN_8086&DEV_7113",
    r"PCI\VEN_8086&DEV_7180", r"PCI\VEN_8086&DEV_7181", r"PCI\VEN_8086&DEV_7112",
    r"PCI\VEN_8086&DEV_7020", r"PCI\VEN_1039&DEV_7001", r"PCI\VEN_1039&DEV_5571",
    r"PCI\VEN_1039&DEV_5597",
]
OFFLINE_NOTE = (
    "Finish: The Windows being patched is not running here, so its devices could not "
    "be reset. / At its next start, remove these devices in Device Manager, then "
    "restart it:" + "".join(" /     " + device for device in DEVICES))


def finish_lines(answer="No"):
    """What Exit prints after a change: the restart question, then the note."""
    return [RESTART + answer, OFFLINE_NOTE]


# ---- folders --------------------------------------------------------------------

def tamrix_program():
    program = os.environ.get("TAMRIX")
    if not program or not os.access(program, os.X_OK):
        raise SystemExit("set TAMRIX to the built tamrix program")
    return program


class WindowsFolder:
    """A scratch Windows folder with an INF folder, removed afterwards."""

    def __init__(self, files, inf_name="inf"):
        self.root = tempfile.mkdtemp(prefix="tamrix-e2e-")
        self.windows = os.path.join(self.root, "WINDOWS")
        self.inf = os.path.join(self.windows, inf_name)
        os.makedirs(self.inf)
        for name, data in files.items():
            with open(os.path.join(self.inf, name), "wb") as f:
                f.write(data)

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def path(self, relative):
        """The Windows-style path the program builds and shows."""
        return self.windows + "\\" + relative

    def contents(self):
        """Every entry of the INF folder: name -> bytes, "<dir>" or
        "<link to TARGET>"."""
        result = {}
        for name in sorted(os.listdir(self.inf)):
            full = os.path.join(self.inf, name)
            mode = os.lstat(full).st_mode
            if stat.S_ISLNK(mode):
                result[name] = "<link to %s>" % os.readlink(full)
            elif stat.S_ISDIR(mode):
                result[name] = "<dir>"
            else:
                with open(full, "rb") as f:
                    result[name] = f.read()
        return result


def run_cli(args, stdin=subprocess.DEVNULL, env_extra=None, env_drop=("WINDIR",)):
    """Runs tamrix with `args`; returns (status, stdout lines, stderr lines)."""
    env = dict(os.environ)
    for name in env_drop:
        env.pop(name, None)
    if env_extra:
        env.update(env_extra)
    done = subprocess.run([tamrix_program()] + list(args), stdin=stdin, capture_output=True,
                          env=env, timeout=30)
    return (done.returncode, done.stdout.decode("latin-1").splitlines(),
            done.stderr.decode("latin-1").splitlines())
