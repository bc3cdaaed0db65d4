"""The disk images of the end-to-end tests: a scratch image with a Windows
installation in its FAT volume (made with mformat and sfdisk, a fixed VHD
footer by hand, a SYSTEM.DAT by system_dat.py), and what the tests of
images share."""

import fcntl
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from system_dat import STRING, Shape, build  # noqa: E402
from tamrix_fixtures import MACHINE_INF, USB_INF, WindowsFolder, run_cli  # noqa: E402

BOTH = {"MACHINE.INF": MACHINE_INF, "USB.INF": USB_INF}
DIR = "<dir>"
F_OFD_SETLK = 37  # fcntl.h on Linux
SECTOR = 512

# ---- SYSTEM.DAT --------------------------------------------------------------------


def system_dat(values, loop=False, layout=None):
    """A SYSTEM.DAT (tests/posix/system_dat.py) whose HKLM holds Config, Enum
    (none of the ten devices), and SOFTWARE with Classes and
    Microsoft\\Windows\\CurrentVersion holding `values` (name -> text; the key
    is left out when None), CurrentVersion's record in a second RGDB block.
    With `loop`, Config's next-key link points back at itself.  `layout` as
    build() fills it."""
    keys = [("Config", {}), ("Enum", {}), ("SOFTWARE", {}), ("SOFTWARE\\Classes", {}),
            ("SOFTWARE\\Microsoft", {}), ("SOFTWARE\\Microsoft\\Windows", {})]
    if values is not None:
        keys.append(("SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                     {name: (STRING, text.encode() + b"\0") for name, text in values.items()}))
    layout = {} if layout is None else layout
    data = build(keys, Shape("95", 6, False), layout)
    if loop:
        config = layout["node"]["Config"]
        data = data[:0x20 + config + 0x14] + struct.pack("<I", config) + data[0x20 + config + 0x18:]
    return data


WIN95_OSR2 = {"Version": "Windows 95", "VersionNumber": "4.00.1111", "SubVersionNumber": " B"}
# What status and Exit say of the registry in such a SYSTEM.DAT.
NO_DEVICE_KEYS = "SYSTEM.DAT: holds 0 of the ten device keys"


def none_in_the_registry(image):
    return ("Finish: None of the ten devices is in the registry of %s:/WINDOWS: it was left as "
            "it was." % image.path)

# ---- images ---------------------------------------------------------------------------


def tool(*args, **kwargs):
    done = subprocess.run(list(args), capture_output=True, **kwargs)
    if done.returncode != 0:
        raise AssertionError("%s: %s" % (" ".join(args), done.stderr.decode()))
    return done.stdout


def vhd_footer(size, disk_type=2):
    """A VHD footer: fixed (2), dynamic (3) or differencing (4)."""
    footer = bytearray(512)
    footer[0:8] = b"conectix"
    struct.pack_into(">IIQ", footer, 8, 2, 0x00010000,
                     0xFFFFFFFFFFFFFFFF if disk_type == 2 else 512)
    footer[28:32] = b"tmrx"
    struct.pack_into(">QQ", footer, 40, size, size)
    struct.pack_into(">HBBI", footer, 56, size // (16 * 63 * SECTOR), 16, 63, disk_type)
    struct.pack_into(">I", footer, 64, ~sum(footer) & 0xFFFFFFFF)
    return bytes(footer)


def partitioned(path, megabytes, table, start, fat, vhd=False, fresh=True):
    """A disk of `megabytes` with the sfdisk `table` (unless not `fresh`); a
    FAT volume made in the partition at sector `start`."""
    if fresh:
        with open(path, "wb") as f:
            f.truncate(megabytes << 20)
        tool("sfdisk", "-q", path, input=("label: dos\n" + table).encode())
    sizes = {int(line.split("start=")[1].split(",")[0]): int(line.split("size=")[1].split(",")[0])
             for line in tool("sfdisk", "-d", path).decode().splitlines() if "start=" in line}
    tool("mformat", "-i", "%s@@%d" % (path, start * SECTOR), "-T", str(sizes[start]),
         "-h", "16", "-s", "63", "-H", str(start), "-v", "WIN95", *fat, "::")
    if vhd:
        with open(path, "ab") as f:
            f.write(vhd_footer(megabytes << 20))
    return start * SECTOR


# Each layout makes an image at a path and gives its FAT volume's offset.
LAYOUTS = {
    "FAT16 partition at sector 63": lambda path: partitioned(
        path, 40, "start=63, type=6\n", 63, []),
    "FAT32 partition at 1 MiB, fixed VHD": lambda path: partitioned(
        path, 48, "start=2048, type=c\n", 2048, ["-F", "-c", "1"], vhd=True),
    "FAT12 floppy": lambda path: (tool("mformat", "-C", "-f", "1440", "-v", "WIN95",
                                       "-i", path, "::"), 0)[1],
}

# The rest of a Windows installation, which no run may touch.
OTHER_FILES = {
    "AUTOEXEC.BAT": b"@ECHO OFF\r\n",
    "WINDOWS/WIN.COM": b"\xe9\x00\x00 not a real WIN.COM",
    "WINDOWS/SYSTEM.DAT": system_dat(WIN95_OSR2),
    "WINDOWS/SYSTEM/VMM32.VXD": bytes(range(256)) * 40,
    "WINDOWS/INF/OTHER.INF": b"[Version]\r\nSignature=$CHICAGO$\r\n",
}


class Image:
    """A scratch disk image with a Windows installation in its FAT volume."""

    def __init__(self, layout="FAT12 floppy", inf=BOTH, others=OTHER_FILES, where=None):
        """`layout` names one of LAYOUTS, or is a function like them; the
        image is made in a new folder under `where` (else the temporary one)."""
        self.root = tempfile.mkdtemp(prefix="tamrix-image-", dir=where)
        self.path = os.path.join(self.root, "win95.img")
        self.offset = (LAYOUTS.get(layout) or layout)(self.path)
        self.volume = "%s@@%d" % (self.path, self.offset)
        for name, data in dict(others, **{"WINDOWS/INF/" + n: d for n, d in inf.items()}).items():
            self.put(name, data)
        if "WINDOWS/SYSTEM.DAT" in others:
            self.mtools("mattrib", "+r", "+h", "+s", "::/WINDOWS/SYSTEM.DAT")

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def mtools(self, command, *args, **kwargs):
        return tool(command, "-i", self.volume, *args, **kwargs)

    def put(self, name, data):
        """Writes a file (bytes) or makes a folder (DIR), and the folders above it."""
        names = name.split("/")
        for depth in range(1, len(names) + (data == DIR)):
            folder = "::/" + "/".join(names[:depth])
            if subprocess.run(["mdir", "-i", self.volume, folder], capture_output=True).returncode:
                self.mtools("mmd", folder)
        if data != DIR:
            self.mtools("mcopy", "-o", "-", "::/" + name, input=data)

    def folder(self, path="WINDOWS/INF"):
        """Every entry of a folder: name as the image has it -> bytes or DIR."""
        result = {}
        for line in self.mtools("mdir", "-b", "-a", "::/%s/" % path).decode().splitlines():
            name = line.rstrip("/").rsplit("/", 1)[1]
            result[name] = DIR if line.endswith("/") else self.mtools(
                "mcopy", "::/%s/%s" % (path, name), "-")
        return result

    def everything_but(self, names):
        """Every other file's bytes and attributes, every folder, and the label."""
        tree = os.path.join(self.root, "tree")
        shutil.rmtree(tree, ignore_errors=True)
        self.mtools("mcopy", "-s", "-n", "::/", tree)
        files = {}
        for folder, _, found in os.walk(tree):
            for name in found:
                with open(os.path.join(folder, name), "rb") as f:
                    files[os.path.relpath(os.path.join(folder, name), tree)] = \
                        hashlib.sha256(f.read()).hexdigest()
        attributes = [line for line in self.mtools("mattrib", "-/", "::/").decode().splitlines()
                      if line.rsplit("/", 1)[-1] not in names]
        return ({n: h for n, h in files.items() if os.path.basename(n) not in names}, attributes,
                self.mtools("mlabel", "-s", "::"))

    def fsck(self):
        """fsck.fat -n on a copy of the volume: its output, or "" when clean."""
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            boot = f.read(SECTOR)
            sectors = struct.unpack_from("<H", boot, 19)[0] or struct.unpack_from("<I", boot, 32)[0]
            f.seek(self.offset)
            volume = f.read(sectors * SECTOR)
        # Not beside the image, whose disk may be full.
        with tempfile.NamedTemporaryFile(prefix="tamrix-volume-") as copy:
            copy.write(volume)
            copy.flush()
            done = subprocess.run(["fsck.fat", "-n", copy.name], capture_output=True)
        lines = done.stdout.decode().splitlines()[1:]  # after the version
        clean = done.returncode == 0 and len(lines) == 1 and " files, " in lines[0]
        return "" if clean else done.stdout.decode() + done.stderr.decode()

    def digest(self):
        with open(self.path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()


def mount_read_only(test, root):
    """What the folder `root` holds, moved onto a tmpfs mounted over it and
    remounted read-only (root only; the test is skipped elsewhere)."""
    if os.geteuid() != 0:
        test.skipTest("mounting a tmpfs needs root")
    saved = tempfile.mkdtemp(prefix="tamrix-saved-")
    test.addCleanup(shutil.rmtree, saved)
    tool("cp", "-a", "--sparse=always", root + "/.", saved)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256m", "tmpfs", root],
                      capture_output=True).returncode != 0:
        test.skipTest("no tmpfs can be mounted here")
    test.addCleanup(subprocess.run, ["umount", root])
    tool("cp", "-a", "--sparse=always", saved + "/.", root)
    tool("mount", "-o", "remount,ro", root)


def nothing_left(test, scratch):
    """No scratch folder in `scratch`, no mount under it, no process naming it."""
    test.assertEqual(os.listdir(scratch), [])
    with open("/proc/self/mountinfo") as f:
        test.assertNotIn(scratch, f.read())
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                test.assertNotIn(scratch.encode(), f.read())
        except OSError:
            pass


def whole_file_lock(path, kind):
    """A descriptor of `path` that holds an OFD lock of `kind` (fcntl.F_RDLCK
    or F_WRLCK) over all of it, as another program may."""
    fd = os.open(path, os.O_RDWR if kind == fcntl.F_WRLCK else os.O_RDONLY)
    fcntl.fcntl(fd, F_OFD_SETLK, struct.pack("hhxxxxqqixxxx", kind, 0, 0, 0, 0))
    return fd


def loop_device(test, path, offset=0, size=0, read_only=False):
    """A loop device over the file `path` (from `offset`, `size` bytes where
    given; read-only as a card with its lock switch on): its name, detached
    when the test ends; the test is skipped where none can be made."""
    args = ["losetup", "-f", "--show", "-o", str(offset), "--sizelimit", str(size),
            *(["--read-only"] if read_only else []), path]
    try:
        done = subprocess.run(args, capture_output=True)
    except OSError as error:
        done = subprocess.CompletedProcess(args, 1, b"", str(error).encode())
    if done.returncode != 0:
        test.skipTest("no loop device can be made here: %s" % done.stderr.decode().strip())
    device = done.stdout.decode().strip()
    test.addCleanup(subprocess.run, ["losetup", "-d", device], capture_output=True)
    return device


def version_line(version, service, kind):
    what = "no service string" if service is None else 'service string "%s"' % service
    return "Windows in the image: version %s, %s: platform kind %d" % (version, what, kind)


OSR2_LINE = version_line("4.00.1111", " B", 2)
TOUCHED = {"MACHINE.INF", "USB.INF", "OUT.INF", "MACHINE.IN@", "USB.IN@"}


class ImageTest(unittest.TestCase):
    def image(self, *args, **kwargs):
        image = Image(*args, **kwargs)
        self.addCleanup(image.close)
        return image

    def folder(self, files):
        folder = WindowsFolder({n: d for n, d in files.items() if d != DIR}, inf_name="INF")
        self.addCleanup(folder.close)
        for name, data in files.items():
            if data == DIR:
                os.mkdir(os.path.join(folder.inf, name))
        return folder


def installed_on_a_folder(test, machine_inf):
    """What Install on kind 1 makes of `machine_inf` in a plain folder."""
    folder = WindowsFolder({"machine.inf": machine_inf})
    test.addCleanup(folder.close)
    test.assertEqual(run_cli(["install", "--chipsets", "--platform-kind", "1", "--windows-dir",
                              folder.windows])[0], 0)
    return folder.contents()["machine.inf"]
