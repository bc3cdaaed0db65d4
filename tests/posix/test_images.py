"""`tamrix --image`: the Linux program on a Windows folder inside a disk
image, changed in place through mtools.

Every image is made here, with mformat and sfdisk (and a fixed VHD footer
by hand, a SYSTEM.DAT by tests/posix/system_dat.py): an MBR disk with a FAT16 partition at
sector 63, an MBR disk with a FAT32 partition at 1 MiB saved as a fixed
VHD, a bare FAT12 floppy, and a disk with logical drives.  The same INF
files are also put in a plain folder, and each command must give the same
output and the same bytes on both; every other file of the image, its
attributes, the folders and the label must stay as they were, and
fsck.fat must find the volume clean.

Usage: TAMRIX=path/to/tamrix python3 test_images.py
"""

import fcntl
import grp
import hashlib
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from image_fixtures import (BOTH, DIR, F_OFD_SETLK, LAYOUTS, NO_DEVICE_KEYS,  # noqa: E402
                            OSR2_LINE, OTHER_FILES, SECTOR, TOUCHED, WIN95_OSR2, ImageTest,
                            installed_on_a_folder, loop_device, mount_read_only,
                            none_in_the_registry, partitioned, system_dat, tool, version_line,
                            vhd_footer)
from tamrix_fixtures import (MACHINE_INF, MACHINE_INF_INSTALLED,  # noqa: E402
                             MACHINE_INF_INSTALLED_KIND2, OFFLINE_NOTE, USB_INF,
                             USB_INF_INSTALLED, chance, run_cli, tamrix_program)
from terminal_fixtures import Terminal, read_box  # noqa: E402


class SameAsAFolder(ImageTest):
    """Install and Uninstall write the same bytes into an image as into a
    folder, and touch nothing else there."""

    def test_install_and_uninstall_on_each_layout(self):
        for layout in LAYOUTS:
            with self.subTest(layout=layout):
                image, folder = self.image(layout), self.folder(BOTH)
                others = image.everything_but(TOUCHED)
                for command, after in [("install", {"MACHINE.INF": MACHINE_INF_INSTALLED_KIND2,
                                                    "USB.INF": USB_INF_INSTALLED}),
                                       ("uninstall", BOTH)]:
                    # The kind comes from SYSTEM.DAT: OSR2, kind 2.
                    on_image = run_cli([command, "--image", image.path])
                    on_folder = run_cli([command, "--windows-dir", folder.windows,
                                         "--platform-kind", "2"])
                    self.assertEqual(on_folder[0], 0)
                    # The folder has no SYSTEM.DAT: the note on Device Manager.
                    self.assertEqual(on_folder[1][-1], OFFLINE_NOTE)
                    self.assertEqual(on_image, (0, [OSR2_LINE] + on_folder[1][:-1] +
                                                [none_in_the_registry(image)], on_folder[2]))
                    # The names stay 8.3 in capitals: no long names, no lower case.
                    self.assertEqual(image.folder(), dict(after, **{"OTHER.INF":
                                     OTHER_FILES["WINDOWS/INF/OTHER.INF"]}))
                    self.assertEqual(folder.contents(), after)
                    self.assertEqual(image.everything_but(TOUCHED), others)
                    self.assertEqual(image.fsck(), "")

    def test_a_name_holding_the_mtools_offset_mark(self):
        # mtools reads "NAME@@OFFSET"; the program must still edit the image
        # it was given, not the file named by what comes before the "@@".
        image = self.image()
        decoy = os.path.join(image.root, "disk")
        shutil.copyfile(image.path, decoy)
        named = decoy + "@@0"
        os.link(image.path, named)
        before = hashlib.sha256(open(decoy, "rb").read()).hexdigest()
        self.assertEqual(run_cli(["install", "--image", named])[0], 0)
        self.assertEqual(image.folder()["MACHINE.INF"], MACHINE_INF_INSTALLED_KIND2)
        self.assertEqual(hashlib.sha256(open(decoy, "rb").read()).hexdigest(), before)

    def test_status_and_dry_run_change_no_byte(self):
        image = self.image("FAT16 partition at sector 63")
        folder = self.folder(BOTH)
        for args in (["status"], ["status", "--usb", "--platform-kind", "1"],
                     ["install", "--dry-run"], ["uninstall", "--dry-run", "--platform-kind", "1"]):
            with self.subTest(args=args):
                before = image.digest()
                # The caller's own mtools settings change nothing.
                on_image = run_cli(args + ["--image", image.path],
                                   env_extra={"MTOOLS_LOWER_CASE": "1"})
                kind = [] if "--platform-kind" in args else ["--platform-kind", "2", ]
                on_folder = run_cli(args + kind + ["--windows-dir", folder.windows])
                line = [OSR2_LINE] if kind else []
                keys = [NO_DEVICE_KEYS] if args[0] == "status" else []
                if "--dry-run" in args:  # its output a pure diff, the lines for people apart
                    self.assertEqual(on_image, (on_folder[0], on_folder[1], line + on_folder[2]))
                else:
                    self.assertEqual(on_image, (on_folder[0], line + on_folder[1] + keys,
                                                on_folder[2]))
                self.assertEqual(image.digest(), before)


class Failures(ImageTest):
    """The failure and recovery rows of a run on a folder, on an image: the
    same statuses, messages and files.  In messages, {win} stands for the
    Windows folder as each shows it."""

    ROWS = [
        # what, INF files before, command
        ("killed between the renames", {"MACHINE.IN@": MACHINE_INF, "USB.INF": USB_INF},
         "install"),
        ("a stale out.inf and backup", dict(BOTH, **{"OUT.INF": b"junk", "USB.IN@": b"old"}),
         "install"),
        ("no usb.inf: a new one", {"MACHINE.INF": MACHINE_INF}, "install"),
        ("no usb.inf", {"MACHINE.INF": MACHINE_INF_INSTALLED}, "uninstall"),
        ("no machine.inf", {"USB.INF": USB_INF}, "install"),
        ("out.inf a folder", dict(BOTH, **{"OUT.INF": DIR}), "install"),
    ]

    def test_rows(self):
        for what, before, command in self.ROWS:
            with self.subTest(what=what, command=command):
                image = self.image(inf=before, others={"WINDOWS/WIN.COM": b"x"})
                folder = self.folder(before)
                args = [command, "--platform-kind", "1"]
                status, out, err = run_cli(args + ["--image", image.path, "--windows-dir",
                                                   "\\WINDOWS"])
                expected = run_cli(args + ["--windows-dir", folder.windows])
                err = [line.replace(image.path + ":/WINDOWS", "{win}") for line in err]
                out = [line.replace(image.path + ":/WINDOWS", folder.windows) for line in out]
                # A missing file is named as each would write it: in
                # capitals in the image, in the folder as the program names it.
                self.assertEqual((status, out, [line.upper() for line in err]),
                                 (expected[0], expected[1],
                                  [line.replace(folder.windows, "{win}").upper()
                                   for line in expected[2]]))
                # Names the folder gets in lower case are capitals in the image.
                self.assertEqual(image.folder(),
                                 {n.upper(): d for n, d in folder.contents().items()})
                self.assertEqual(image.fsck(), "")

    def test_a_full_volume_leaves_machine_inf_as_it_was(self):
        # out.inf does not fit: it is deleted, and the target never touched.
        # The message counts the free clusters of each FAT width exactly: a
        # few are left free, fewer than out.inf needs.
        for layout in ("FAT12 floppy", "FAT16 partition at sector 63"):
            with self.subTest(layout=layout):
                image = self.image(layout, inf=BOTH, others={"WINDOWS/WIN.COM": b"x"})
                free = int(image.mtools("mdir", "::/").decode().split("bytes free")[0]
                           .splitlines()[-1].replace(" ", ""))
                image.put("FILLER.BIN", bytes(free - len(MACHINE_INF_INSTALLED) + 1))
                left = int(image.mtools("mdir", "::/").decode().split("bytes free")[0]
                           .splitlines()[-1].replace(" ", ""))
                self.assertGreater(left, 0)
                before = image.everything_but(set())
                status, out, err = run_cli(["install", "--chipsets", "--platform-kind", "1",
                                            "--image", image.path])
                self.assertEqual((status, out, err), (3, [], [
                    "Tamrix: The FAT volume of %s is full: OUT.INF needs %d bytes, %d are free, "
                    "and this step was undone."
                    % (image.path, len(MACHINE_INF_INSTALLED), left),
                    "File Write Error: Can't write %s:/WINDOWS/INF/OUT.INF" % image.path]))
                self.assertEqual(image.everything_but(set()), before)
                self.assertEqual(image.fsck(), "")

    def test_a_copy_into_the_image_killed_halfway_fails(self):
        # An mcopy that dies by a signal after part of out.inf: no swap follows.
        image = self.image(inf=BOTH, others={"WINDOWS/WIN.COM": b"x"})
        killed = mtools_wrapper(self, 'head -c 100 | %s "$@"; kill -9 $$' % shutil.which("mcopy"))
        before = image.everything_but(set())
        got = run_cli(["install", "--chipsets", "--platform-kind", "1", "--image", image.path],
                      env_extra=killed)
        self.assertEqual(got, (3, [], [
            "File Write Error: Can't write %s:/WINDOWS/INF/OUT.INF" % image.path]))
        self.assertEqual(image.everything_but(set()), before)
        self.assertEqual(image.fsck(), "")


def wrapped_tool(test, name, script):
    """A folder for PATH whose mtools command `name` is the shell `script`,
    in which $REAL is the real command."""
    bin_dir = tempfile.mkdtemp(prefix="tamrix-bin-")
    test.addCleanup(shutil.rmtree, bin_dir)
    with open(os.path.join(bin_dir, name), "w") as f:
        f.write('#!/bin/sh\nREAL=%s\n%s\n' % (shutil.which(name), script))
    os.chmod(os.path.join(bin_dir, name), 0o755)
    return {"PATH": bin_dir + ":" + os.environ["PATH"]}


def killed_during(test, args, env, tool_name, script):
    """Runs `args` with the tool `tool_name` a shell running `script`, and
    SIGKILLs the run once that shell has begun: the shell's process id."""
    started = os.path.join(tempfile.mkdtemp(prefix="tamrix-started-"), "pid")
    test.addCleanup(shutil.rmtree, os.path.dirname(started))
    slow = wrapped_tool(test, tool_name, "echo $$ > %s\n%s" % (started, script))
    run = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, env=dict(os.environ, **env, **slow))
    for _ in range(1000):
        if os.path.exists(started) and os.path.getsize(started):
            break
        time.sleep(0.01)
    run.kill()
    run.wait()
    with open(started) as f:
        return int(f.read())


def mtools_wrapper(test, script):
    """A folder for PATH whose mcopy runs the shell `script` when it copies
    into the image (its arguments end "- ::/..."), then the real mcopy."""
    return wrapped_tool(test, "mcopy", 'case " $* " in *" - ::"*) %s;; esac\nexec "$REAL" "$@"'
                        % script)


class FullHostDisks(ImageTest):
    """The host file system that holds a sparse image has no room for what a
    run writes: refused at once when it is full before the run, and each
    change put back when it fills up during one."""

    def tmpfs(self):
        where = tempfile.mkdtemp(prefix="tamrix-tmpfs-")
        self.addCleanup(os.rmdir, where)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=8m", "tmpfs", where],
                          capture_output=True).returncode != 0:
            self.skipTest("no tmpfs can be mounted here")
        self.addCleanup(subprocess.run, ["umount", where])
        return where

    def ext4_keeping_blocks_for_root(self):
        """A loop-mounted ext4 of 64 MiB that keeps 10% of its blocks for
        root: more than a run may need."""
        where = tempfile.mkdtemp(prefix="tamrix-ext4-")
        self.addCleanup(os.rmdir, where)
        with tempfile.NamedTemporaryFile(prefix="tamrix-ext4-", suffix=".fs", delete=False) as f:
            f.truncate(64 << 20)
        self.addCleanup(os.unlink, f.name)
        for command in (["mkfs.ext4", "-q", "-m", "10", f.name], ["mount", "-o", "loop", f.name,
                                                                  where]):
            try:
                done = subprocess.run(command, capture_output=True)
            except OSError as error:
                done = subprocess.CompletedProcess(command, 1, b"", str(error).encode())
            if done.returncode != 0:
                self.skipTest("no ext4 can be loop-mounted here: %s: %s"
                              % (command[0], done.stderr.decode().strip()))
        self.addCleanup(subprocess.run, ["umount", where])
        return where

    FULL = ("Tamrix: The disk that holds {img} is full: the file system on {where} has {free} "
            "bytes free")
    NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]

    def test_full_before_the_run(self):
        # Filled by the user who runs Tamrix; on ext4 the blocks kept for
        # root are no room for an ordinary user.
        for what, mounted, user in [("tmpfs, as root", self.tmpfs, []),
                                    ("ext4 with blocks kept for root, as nobody",
                                     self.ext4_keeping_blocks_for_root, self.NOBODY)]:
            with self.subTest(what):
                if user and (os.geteuid() != 0 or shutil.which("setpriv") is None):
                    self.skipTest("needs root and setpriv")
                where = mounted()
                image = self.image("FAT16 partition at sector 63", where=where)
                for path in (image.root, image.path) if user else ():
                    os.chown(path, 65534, 65534)
                filler = os.path.join(image.root, "filler")
                subprocess.run(user + ["dd", "if=/dev/zero", "of=" + filler, "bs=64k"],
                               capture_output=True)
                os.sync()
                room = os.statvfs(where)
                free = room.f_bavail * room.f_frsize
                # On ext4, root could still write more than a run needs.
                self.assertGreaterEqual(room.f_bfree * room.f_frsize,
                                        (4 << 20) if user else free)
                before = image.digest()
                env = dict(os.environ)
                env.pop("WINDIR", None)
                done = subprocess.run(user + [tamrix_program(), "install", "--platform-kind", "1",
                                              "--image", image.path], capture_output=True,
                                      env=env, timeout=30)
                self.assertEqual((done.returncode, done.stdout, done.stderr.decode().splitlines()),
                                 (3, b"", [self.FULL.format(img=image.path, where=where,
                                                            free=free) +
                                           ", and a run may need 4194304; nothing was changed.  "
                                           "Make room there, then try again."]))
                self.assertEqual(image.digest(), before)

    def test_full_during_the_run(self):
        # The disk fills up just before out.inf is copied in: the copy fails,
        # and what mtools wrote of it is put back.  (On the FAT32 layout, of
        # 512-byte clusters, out.inf fits in host blocks already allocated.)
        for layout in ("FAT16 partition at sector 63", "FAT12 floppy"):
            with self.subTest(layout=layout):
                where = self.tmpfs()
                image = self.image(layout, where=where)
                # Every free cluster a hole, as in an image that was never written;
                # the FATs and the root folder written, so that mtools can note a
                # chain whose clusters it then cannot write.
                with open(image.path, "rb") as f:
                    f.seek(image.offset)
                    boot = f.read(SECTOR)
                reserved, fats, entries = struct.unpack_from("<HBH", boot, 14)
                fat_sectors = struct.unpack_from("<H", boot, 22)[0] or \
                    struct.unpack_from("<I", boot, 36)[0]
                data = image.offset + (reserved + fats * fat_sectors + entries // 16) * SECTOR
                tool("fallocate", "--dig-holes", "--offset", str(data), image.path)
                before = image.everything_but(set())
                filler = os.path.join(where, "filler")
                fill = mtools_wrapper(self, "dd if=/dev/zero of=%s bs=64k 2>/dev/null" % filler)
                got = run_cli(["install", "--chipsets", "--platform-kind", "1", "--image",
                               image.path], env_extra=fill)
                self.assertEqual(got, (3, [], [
                    self.FULL.format(img=image.path, where=where, free=0) +
                    "; OUT.INF could not be copied into the image, and this step was undone.",
                    "File Write Error: Can't write %s:/WINDOWS/INF/OUT.INF" % image.path]))
                os.unlink(filler)
                self.assertEqual(image.everything_but(set()), before)
                self.assertEqual(image.fsck(), "")


class Refusals(ImageTest):
    """Images that are refused, unchanged, with a message saying why."""

    @staticmethod
    def ofd_lock(kind, start, length):
        def hold(image):
            fd = os.open(image.path, os.O_RDWR)
            fcntl.fcntl(fd, F_OFD_SETLK, struct.pack("hhxxxxqqixxxx", kind, 0, start, length, 0))
            return fd
        return hold

    @staticmethod
    def flock(image):
        fd = os.open(image.path, os.O_RDWR)
        fcntl.flock(fd, fcntl.LOCK_EX)
        return fd

    @staticmethod
    def header(data, size=4096):
        def write(image):
            with open(image.path, "wb") as f:
                f.write(data.ljust(size, b"\0"))
        return write

    @staticmethod
    def claims(sectors, footer=False, partition_at=None):
        """The boot sector claims `sectors`; a fixed VHD's footer follows.
        With `partition_at`, the image is first an 8 MiB disk whose partition
        1 of 8192 sectors begins at that sector."""
        def spoil(image):
            at = 0
            if partition_at is not None:
                at = partitioned(image.path, 8, "start=%d, size=8192, type=6\n" % partition_at,
                                 partition_at, [])
            with open(image.path, "r+b") as f:
                f.seek(at + 19)
                f.write(struct.pack("<H", sectors))
                if footer:
                    f.seek(0, os.SEEK_END)
                    f.write(vhd_footer(f.tell()))
        return spoil

    IN_USE = ("Tamrix: The disk image {img} is in use by another program, such as a virtual "
              "machine that has it open; nothing was changed.  Shut the virtual machine down "
              "first, then try again.")
    LONGER = ("Tamrix: The FAT volume of {img} is longer than the image: its boot sector claims "
              "%d bytes, %s; the image may have been cut short; nothing was changed.")

    ROWS = [
        # what, how the image is spoilt, command, status, the message
        ("QEMU's shared lock", ofd_lock.__func__(fcntl.F_RDLCK, 100, 1), "install", 4, IN_USE),
        ("a write lock on all", ofd_lock.__func__(fcntl.F_WRLCK, 0, 0), "uninstall", 4, IN_USE),
        ("locked: a dry run too", ofd_lock.__func__(fcntl.F_RDLCK, 201, 1), "install --dry-run",
         4, IN_USE),
        ("another Tamrix", flock.__func__, "install", 4,
         "Tamrix: Another Tamrix is changing {img} right now; nothing was changed.  Try again "
         "when it has finished."),
        ("read-only", lambda image: os.chmod(image.path, 0o444), "install", 1,
         "Tamrix: The disk image {img} is read-only; nothing was changed.  Make it writable to "
         "patch it."),
        ("on a read-only mount", "read-only mount", "install", 1,
         "Tamrix: The disk image {img} lies on a file system mounted read-only; nothing was "
         "changed."),
        # Formats QEMU changes (test_image_formats.py), broken or of a kind Tamrix refuses.
        ("qcow2 header alone", header.__func__(b"QFI\xfb\0\0\0\3"), "install", 1,
         "Tamrix: QEMU cannot open {img} as a QEMU copy-on-write image (qcow2); nothing was "
         "changed.  It said: Unsupported cluster size: 2^0"),
        ("VDI of version 0", header.__func__(b"<<< Oracle VM VirtualBox Disk Image >>>\n"
                                             .ljust(64, b"\0") + b"\x7f\x10\xda\xbe"),
         "status", 1, "Tamrix: {img} is a VirtualBox disk image (VDI), of a version Tamrix does "
         "not know; nothing was changed."),
        ("VMDK extent alone", header.__func__(b"KDMV\1\0\0\0"), "install", 1,
         "Tamrix: {img} is one extent of a VMware disk image (VMDK), the disk's descriptor file "
         "(the small .vmdk beside it) names its extents: use that one; nothing was changed."),
        ("too small", header.__func__(b"\xeb\x3c\x90", 100), "status", 1,
         "Tamrix: {img} is no disk image: it is too small to hold one; nothing was changed."),
        ("a volume longer than its image", claims.__func__(2881), "install", 1,
         LONGER % (1475072, "the image holds 1474560 bytes")),
        ("a volume that reaches into the VHD footer", claims.__func__(2881, footer=True),
         "install", 1, LONGER % (1475072, "the VHD's disk holds 1474560 bytes (the file less "
                                          "its 512-byte footer)")),
        ("a volume longer than its partition", claims.__func__(8196, partition_at=63), "install",
         1, "Tamrix: The FAT volume in partition 1 of {img} is longer than the partition: its "
         "boot sector claims 4196352 bytes, the partition table gives it 4194304 bytes; nothing "
         "was changed."),
        ("an image cut short", lambda image: os.truncate(image.path, 1 << 20), "status", 3,
         LONGER % (1474560, "the image holds 1048576 bytes")),
        ("a partition past the disk's end", lambda image: (
            partitioned(image.path, 4, "start=63, type=6\n", 63, []),
            os.truncate(image.path, 2 << 20)) and None, "install", 1,
         "Tamrix: Partition 1 of {img} is longer than its disk: the partition table puts its "
         "end at byte 4194304, the image holds 2097152 bytes; the image may have been cut short"
         "; nothing was changed."),
        ("a partition of a bare volume", lambda image: None, "status --partition 1", 1,
         "Tamrix: {img} holds one FAT volume and no partition table: leave out --partition."),
        ("not an image", header.__func__(b"Hello, this is text.\n" * 100), "install", 1,
         "Tamrix: {img} is neither a FAT volume nor a disk with an MBR partition table: Tamrix "
         "cannot patch it; nothing was changed."),
        ("boot code and 55 AA, no table", header.__func__(bytes(446) + b"\x12" * 64 + b"\x55\xaa"),
         "install", 1, "Tamrix: {img} is neither a FAT volume nor a disk with an MBR partition "
         "table: Tamrix cannot patch it; nothing was changed."),
    ]

    def test_rows(self):
        for what, spoil, command, status, message in self.ROWS:
            with self.subTest(what=what):
                image = self.image()
                held = (mount_read_only(self, image.root) if spoil == "read-only mount"
                        else spoil(image))
                if held is not None:
                    self.addCleanup(os.close, held)
                before = image.digest()
                got = run_cli(command.split() + ["--platform-kind", "1", "--image", image.path])
                self.assertEqual(got, (status, [], [message.format(img=image.path)]))
                self.assertEqual(image.digest(), before)
        # status takes no lock, and says that its answer may be stale.
        image = self.image()
        self.addCleanup(os.close, self.ofd_lock(fcntl.F_RDLCK, 100, 1)(image))
        self.assertEqual(run_cli(["status", "--platform-kind", "1", "--image", image.path]),
                         (3, ["INF/MACHINE.INF: not installed", "INF/USB.INF: not installed",
                              "SYSTEM.DAT: holds 0 of the ten device keys"],
                          ["Tamrix: %s is open in another program, such as a virtual machine: "
                           "what follows may be stale." % image.path]))
        # Nor does it need to write.
        image = self.image()
        os.chmod(image.path, 0o444)
        self.assertEqual(run_cli(["status", "--platform-kind", "1", "--image", image.path]),
                         (3, ["INF/MACHINE.INF: not installed", "INF/USB.INF: not installed",
                              NO_DEVICE_KEYS], []))


    def test_an_image_of_another_user(self):
        # Root's 0644 image, run as another user: not read-only, only not theirs.
        if os.geteuid() != 0 or shutil.which("setpriv") is None:
            self.skipTest("needs root and setpriv")
        image = self.image()
        os.chmod(image.root, 0o755)
        before = image.digest()
        done = subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                               tamrix_program(), "install", "--platform-kind", "1", "--image",
                               image.path], capture_output=True, timeout=30)
        self.assertEqual((done.returncode, done.stderr.decode().splitlines()), (1, [
            "Tamrix: The disk image %s is not writable by you (nobody); nothing was changed.  "
            "Run Tamrix as a user who may write it." % image.path]))
        self.assertEqual(image.digest(), before)

    def test_what_is_no_file(self):
        # Refused at once: a FIFO that no one writes to would hold an open
        # for reading forever.
        root = tempfile.mkdtemp(prefix="tamrix-not-a-file-")
        self.addCleanup(shutil.rmtree, root)
        fifo = os.path.join(root, "pipe.img")
        os.mkfifo(fifo)
        for path, what in [(fifo, "a FIFO"), (root, "a folder"),
                           ("/dev/null", "a character device")]:
            with self.subTest(what=what):
                self.assertEqual(run_cli(["install", "--platform-kind", "1", "--image", path]),
                                 (1, [], ["Tamrix: %s is %s, not a disk image; nothing was "
                                          "changed." % (path, what)]))


class FindingTheWindowsFolder(ImageTest):
    """The folder in the volume's root with WIN.COM and INF\\MACHINE.INF, in
    the first FAT partition, or where --windows-dir and --partition say."""

    def test_windows_folders(self):
        two = dict(OTHER_FILES, **{"WINDOWS/INF/MACHINE.INF": MACHINE_INF, "WIN98/WIN.COM": b"x",
                                   "WIN98/INF/MACHINE.INF": MACHINE_INF,
                                   "DOS/WIN.COM": b"no INF folder here"})
        none = {"WINDOWS/INF/MACHINE.INF": MACHINE_INF}  # no WIN.COM
        rows = [
            # others, extra arguments, status, stderr, MACHINE.INF of WINDOWS, WIN98
            (none, [], 1, ["Tamrix: No Windows folder in {img}: none in the root of its FAT "
                           "volume holds WIN.COM and INF\\MACHINE.INF.  Name it with "
                           "--windows-dir."], MACHINE_INF, None),
            (two, [], 1, ["Tamrix: {img} holds more than one Windows folder: \\WINDOWS, \\WIN98."
                          "  Name the one to patch with --windows-dir."], MACHINE_INF, MACHINE_INF),
            (two, ["--windows-dir", "C:\\WIN98"], 0, [], MACHINE_INF, MACHINE_INF_INSTALLED),
            (two, ["--windows-dir", "/win98/"], 0, [], MACHINE_INF, MACHINE_INF_INSTALLED),
            (two, ["--windows-dir", "\\Windows"], 0, [], MACHINE_INF_INSTALLED, MACHINE_INF),
            # A swap cut off between its renames left only the backup's name.
            ({"WINDOWS/WIN.COM": b"x", "WINDOWS/INF/MACHINE.IN@": MACHINE_INF}, [], 0, [],
             MACHINE_INF_INSTALLED, None),
        ]
        for others, extra, status, err, windows, win98 in rows:
            with self.subTest(extra=extra, folders=sorted(others)):
                image = self.image(inf={}, others=others)
                got = run_cli(["install", "--chipsets", "--platform-kind", "1", "--image",
                               image.path] + extra)
                self.assertEqual((got[0], got[2]),
                                 (status, [e.format(img=image.path) for e in err]))
                self.assertEqual(image.folder()["MACHINE.INF"], windows)
                if win98 is not None:
                    self.assertEqual(image.folder("WIN98/INF")["MACHINE.INF"], win98)

    def test_a_folder_named_by_its_short_name(self):
        # The files below it are still shown with the names they have.
        image = self.image(inf={}, others={"Win95 SE/WIN.COM": b"x",
                                           "Win95 SE/INF/MACHINE.INF": MACHINE_INF})
        self.assertEqual(run_cli(["status", "--platform-kind", "1", "--image", image.path,
                                  "--windows-dir", "\\WIN95S~1"]),
                         (1, ["INF/MACHINE.INF: not installed", "INF/USB.INF: missing"], []))

    def test_a_boot_sector_that_begins_with_a_near_jump(self):
        def near_jump(path):
            LAYOUTS["FAT12 floppy"](path)
            with open(path, "r+b") as f:
                f.write(b"\xe9")
            return 0
        image = self.image(near_jump)
        self.assertEqual(run_cli(["status", "--chipsets", "--platform-kind", "1", "--image",
                                  image.path]),
                         (3, ["INF/MACHINE.INF: not installed", NO_DEVICE_KEYS], []))

    def test_partitions(self):
        # 1 Linux, 2 extended with the logical drives 5 (FAT16, Windows), 6 (FAT16 in a
        # partition of FAT32 CHS type 0x0B, empty) and 7 (FAT16 type 0x0E, unformatted).
        def logical_drives(path):
            table = ("start=2048, size=4096, type=83\nstart=8192, type=5\n"
                     "start=10240, size=8192, type=6\nstart=20480, size=8192, type=b\n"
                     "start=30720, type=e\n")
            partitioned(path, 16, table, 20480, [])
            return partitioned(path, 16, table, 10240, [], fresh=False)
        image = self.image(logical_drives, inf={"MACHINE.INF": MACHINE_INF})
        found = ["INF/MACHINE.INF: not installed", "INF/USB.INF: missing", NO_DEVICE_KEYS]
        none = ("Tamrix: No Windows folder in {img}: none in the root of its FAT volume holds "
                "WIN.COM and INF\\MACHINE.INF.  Name it with --windows-dir.")
        listed = "; its partitions: 1 (Linux), 2 (extended), 5 (FAT16), 6 (FAT32), 7 (FAT16)."
        rows = [
            ([], found, []),  # the first FAT one: 5
            (["--partition", "5"], found, []),
            (["--partition", "6"], [], [none]),
            (["--partition", "1"], [], ["Tamrix: Partition 1 of {img} is Linux, not FAT" + listed]),
            (["--partition", "3"], [], ["Tamrix: {img} has no partition 3" + listed]),
            (["--partition", "7"], [], ["Tamrix: Partition 7 of {img} holds no FAT file system; "
                                        "nothing was changed."]),
        ]
        for extra, out, err in rows:
            with self.subTest(extra=extra):
                got = run_cli(["status", "--platform-kind", "1", "--image", image.path] + extra)
                self.assertEqual(got, (1, out, [e.format(img=image.path) for e in err]))


class RealDisks(ImageTest):
    """A loop device stands for a card in a reader: the whole disk with its
    MBR, or its FAT partition alone.  Each command gives the status, lines
    and files that it gives on the same image as a file, and touches
    nothing else; a mounted device, and one the user declines, are left as
    they were."""

    LAYOUT = "FAT16 partition at sector 63"

    def test_the_same_as_on_an_image_file(self):
        for whole in (True, False):
            with self.subTest(whole=whole):
                image, twin = self.image(self.LAYOUT), self.image(self.LAYOUT)
                part = () if whole else (image.offset, os.path.getsize(image.path) - image.offset)
                device = loop_device(self, image.path, *part)
                others = image.everything_but(TOUCHED)
                for command in ("install --yes", "status", "install --dry-run", "uninstall --yes"):
                    on_device = run_cli(command.split() + ["--image", device])
                    on_file = run_cli(command.split() + ["--image", twin.path])
                    # Before a change, what the device is, and the question.
                    asked = on_device[1][:1] if command.endswith("--yes") else []
                    self.assertEqual([re.sub(r" is .*\. / ", " is ... / ", line) for line in asked],
                                     ["Tamrix: %s is ... / Change the files of \\WINDOWS on %s? "
                                      "[Yes/No] Yes" % (device, device)] if asked else [])
                    self.assertEqual((on_device[0], on_device[1][len(asked):], on_device[2]),
                                     tuple([line.replace(twin.path, device) for line in lines]
                                           if isinstance(lines, list) else lines
                                           for lines in on_file), command)
                    self.assertEqual(image.folder(), twin.folder())
                    self.assertEqual(image.everything_but(TOUCHED), others)
                    self.assertEqual(image.fsck(), "")

    def test_refused_unchanged(self):
        image = self.image(self.LAYOUT)
        ext4 = os.path.join(image.root, "ext4.img")
        with open(ext4, "wb") as f:
            f.truncate(16 << 20)
        tool("mkfs.ext4", "-q", ext4)
        mounted = loop_device(self, ext4)
        where = os.path.join(image.root, "mounted here")
        os.mkdir(where)
        if subprocess.run(["mount", "-o", "ro", mounted, where], capture_output=True).returncode:
            self.skipTest("no ext4 can be mounted here")
        self.addCleanup(subprocess.run, ["umount", where])
        card = loop_device(self, image.path)
        locked = loop_device(self, image.path, read_only=True)
        rows = [
            # device, its file, command, status, output, errors
            (mounted, ext4, "install --yes", 4, [], [
                "Tamrix: %s is mounted at %s; unmount it first; nothing was changed."
                % (mounted, where)]),
            (mounted, ext4, "status", 4, [], [
                "Tamrix: %s is mounted at %s; unmount it first; nothing was changed."
                % (mounted, where)]),
            (card, image.path, "uninstall --no", 5, [
                "Tamrix: %s is a loop device over %s, 40.0 MiB (41943040 bytes); its Windows "
                "folder is \\WINDOWS. / Change the files of \\WINDOWS on %s? [Yes/No] No"
                % (card, image.path, card)], []),
            (locked, image.path, "install --yes", 1, [], [
                "Tamrix: %s is write-protected (a card's lock switch, or a device that is "
                "read-only); nothing was changed." % locked]),
        ]
        # An ordinary user outside the group that may use it, as Debian has it.
        if shutil.which("setpriv") is not None:
            os.chown(card, 0, grp.getgrnam("disk").gr_gid)
            os.chmod(card, 0o660)
            self.addCleanup(os.chmod, card, 0o600)
            self.addCleanup(os.chown, card, 0, 0)
            rows.append((card, image.path, FullHostDisks.NOBODY, 1, [], [
                "Tamrix: Can't open %s: you may not read it; nothing was changed.  Tamrix "
                "reads and writes the device itself: join the group disk, which may (as root: "
                "adduser nobody disk, then log in again), or have the desktop's rules for "
                "removable media (udev, udisks) give you the card reader, or run Tamrix as "
                "root." % card]))
        for device, backing, command, status, out, err in rows:
            with self.subTest(command=command, device=device):
                with open(backing, "rb") as f:
                    before = hashlib.sha256(f.read()).hexdigest()
                args = (command + [tamrix_program(), "status"] if isinstance(command, list)
                        else [tamrix_program()] + command.split())
                env = {n: v for n, v in os.environ.items() if n != "WINDIR"}
                done = subprocess.run(args + ["--image", device], capture_output=True, env=env)
                self.assertEqual((done.returncode, done.stdout.decode().splitlines(),
                                  done.stderr.decode().splitlines()), (status, out, err))
                with open(backing, "rb") as f:
                    self.assertEqual(hashlib.sha256(f.read()).hexdigest(), before)


class KindFromTheRegistry(ImageTest):
    """Without --platform-kind, the kind is read from SYSTEM.DAT, and one
    line says what was found."""

    def test_system_dat(self):
        layout = {}
        good = system_dat({"VersionNumber": "4.00.950"}, layout=layout)
        current_version = 0x20 + layout["node"]["SOFTWARE\\Microsoft\\Windows\\CurrentVersion"]
        unknown = "Windows in the image: unknown (%s): platform kind 0"
        # Refused by the check (registry_file.h), whose words are its own.
        refused = re.escape(unknown % "SYSTEM.DAT: not read as a registry: @").replace("@", ".+")
        rows = [
            # SYSTEM.DAT (None: none), the line (refused: any refusal of the check)
            (None, unknown % "no SYSTEM.DAT in its Windows folder"),
            (good, version_line("4.00.950", None, 1)),
            (system_dat({"VersionNumber": "4.00.950", "SubVersionNumber": ""}),
             version_line("4.00.950", None, 1)),
            (system_dat(WIN95_OSR2), OSR2_LINE),
            (system_dat({"VersionNumber": "4.10.2222", "SubVersionNumber": " A "}),
             version_line("4.10.2222", " A ", 2)),
            (system_dat(None), unknown % "SYSTEM.DAT records no VersionNumber"),
            (system_dat({"Version": "Windows 95"}),
             unknown % "SYSTEM.DAT records no VersionNumber"),
            # A sibling chain that loops.
            (system_dat({"VersionNumber": "4.00.950"}, loop=True), refused),
            (b"regf" + good[4:], refused),
        ]
        # Damaged: CurrentVersion's record in a block that is not there; the
        # first RGDB block shorter than its header; the root inside RGKN's header.
        spoilt = lambda at, data: good[:at] + data + good[at + len(data):]  # noqa: E731
        rows += [(spoilt(current_version + 0x1A, b"\2\0"), refused),
                 (spoilt(struct.unpack_from("<I", good, 8)[0] + 4, struct.pack("<I", 16)), refused),
                 (spoilt(0x20 + 8, bytes(4)), refused)]
        # Cut short anywhere, it is refused, and never hangs.
        rows += [(good[:length], refused) for length in (0x30, 0x70, len(good) // 2, len(good) - 9)]
        for data, line in rows:
            with self.subTest(line=line, length=len(data) if data else None):
                others = {"WINDOWS/WIN.COM": b"x"}
                if data is not None:
                    others["WINDOWS/SYSTEM.DAT"] = data
                image = self.image(others=others)
                status, out, err = run_cli(["status", "--chipsets", "--image", image.path])
                # (The last line, on the device keys, is test_offline_registry.py's.)
                self.assertEqual((status, out[1:2], err),
                                 (3, ["INF/MACHINE.INF: not installed"], []))
                if line == refused:
                    self.assertRegex(out[0], "^%s$" % refused)
                else:
                    self.assertEqual(out[0], line)
        # A kind on the command line reads nothing.
        image = self.image()
        self.assertEqual(run_cli(["status", "--chipsets", "--platform-kind", "1", "--image",
                                  image.path])[1], ["INF/MACHINE.INF: not installed",
                                                    NO_DEVICE_KEYS])


def strace(args, *options, env_extra=None):
    """Runs tamrix under strace, its environment changed by `env_extra`;
    gives its exit status, strace's log lines and its error output's lines."""
    if shutil.which("strace") is None or subprocess.run(
            ["strace", "-qq", "-o", "/dev/null", "true"], capture_output=True).returncode != 0:
        raise unittest.SkipTest("strace cannot trace here")
    log = tempfile.mktemp(prefix="tamrix-strace-")
    # LeakSanitizer cannot work under ptrace: a sanitized build leaves it out.
    env = dict(os.environ, ASAN_OPTIONS=":".join(
        filter(None, [os.environ.get("ASAN_OPTIONS"), "detect_leaks=0"])), **(env_extra or {}))
    env.pop("WINDIR", None)
    done = subprocess.run(["strace", "-qq", "-s", "4096", "-e", "signal=none", "-o", log,
                           *options, tamrix_program(), *args], stdin=subprocess.DEVNULL,
                          capture_output=True, env=env)
    with open(log) as f:
        lines = f.read().splitlines()
    os.unlink(log)
    return done.returncode, lines, done.stderr.decode().splitlines()


class StepsInTheImage(ImageTest):
    """The steps of a replacement inside the image, as the system sees them."""

    ARGS = ["install", "--chipsets", "--platform-kind", "1", "--image"]

    def test_out_inf_is_complete_and_on_disk_before_the_renames(self):
        image = self.image()
        status, log, _ = strace(self.ARGS + [image.path], "-f", "-e", "trace=execve,fsync")
        self.assertEqual(status, 0)
        steps = []
        for line in log:
            if " fsync(" in line:
                steps.append("fsync")
            elif 'execve("' in line and '"mdir"' not in line:
                words = line.split("[", 1)[1].split("]", 1)[0].replace('"', "").split(", ")
                if words[0] != "mcopy" or words[-2] == "-":  # not a copy out of the image
                    steps.append(" ".join(w for w in words if w not in ("-o", "-i")
                                          and "@@" not in w))
        # The new names are capitals: 8.3 names with no long-name entries.
        # out.inf takes MACHINE.INF's attributes before the swap.
        self.assertEqual(steps[1:], [
            "mcopy - ::/WINDOWS/inf/OUT.INF", "fsync",
            "mattrib ::/WINDOWS/inf/MACHINE.INF", "mattrib -r -h -s +a ::/WINDOWS/inf/out.inf",
            "fsync",
            "mren ::/WINDOWS/inf/MACHINE.INF MACHINE.IN@", "fsync",
            "mren ::/WINDOWS/inf/out.inf MACHINE.INF", "fsync",
            "mdel ::/WINDOWS/inf/MACHINE.IN@", "fsync"])

    def test_a_tool_that_fails_after_it_wrote(self):
        # The command does its work, then exits 1: what it wrote is put back
        # and forced to disk (one run of writes right after the wait for it,
        # then an fsync) before the run goes on, and the image is, byte for
        # byte, as the wrapper copied it just before the command.  The first
        # rename fails the run; the backup's deletion, the last step, only
        # leaves the backup.
        for name, status, files in [
                ("mren", 3, {"MACHINE.INF": MACHINE_INF, "OUT.INF": MACHINE_INF_INSTALLED}),
                ("mdel", 0, {"MACHINE.INF": MACHINE_INF_INSTALLED, "MACHINE.IN@": MACHINE_INF})]:
            with self.subTest(tool=name):
                image = self.image(inf={"MACHINE.INF": MACHINE_INF})
                snapshot = image.path + ".before"
                failing = wrapped_tool(self, name, 'cp "%s" "%s"\n"$REAL" "$@"\nexit 1'
                                       % (image.path, snapshot))
                got, log, _ = strace(self.ARGS + [image.path], "-e", "trace=wait4,pwrite64,fsync",
                                     env_extra=failing)
                self.assertEqual((got, image.folder()), (status, dict(files, **{
                    "OTHER.INF": OTHER_FILES["WINDOWS/INF/OTHER.INF"]})))
                with open(snapshot, "rb") as f:
                    self.assertEqual(image.digest(), hashlib.sha256(f.read()).hexdigest())
                calls = [line.split("(")[0] for line in log if "(" in line]
                first = calls.index("pwrite64")
                last = len(calls) - 1 - calls[::-1].index("pwrite64")
                self.assertEqual(calls[first - 1:last + 2],
                                 ["wait4"] + ["pwrite64"] * (last - first + 1) + ["fsync"])

    def test_a_signal_waits_for_each_change(self):
        # SIGTERM comes as each fsync begins: after out.inf is copied in, and
        # after it is given MACHINE.INF's attributes, it waits, then out.inf
        # is deleted; in the swap it waits for its end.
        # SIGHUP is caught alike.  The last change, whichever it is, is
        # forced to disk before the exit, and a line says what was changed.
        unchanged = "Tamrix: Stopped by %s; nothing was changed."
        changed = ("Tamrix: Stopped by %s; changed before it: {img}:/WINDOWS/INF/MACHINE.INF; "
                   "every other file is as it was.")
        for when, text, caught, said in [(1, MACHINE_INF, signal.SIGTERM, unchanged),
                                         (1, MACHINE_INF, signal.SIGHUP, unchanged),
                                         (2, MACHINE_INF, signal.SIGTERM, unchanged),
                                         (3, MACHINE_INF_INSTALLED, signal.SIGTERM, changed),
                                         (4, MACHINE_INF_INSTALLED, signal.SIGTERM, changed),
                                         (5, MACHINE_INF_INSTALLED, signal.SIGTERM, changed)]:
            with self.subTest(when=when, signal=caught.name):
                image = self.image(inf={"MACHINE.INF": MACHINE_INF})
                status, log, err = strace(self.ARGS + [image.path], "-e", "trace=fsync,wait4",
                                          "-e", "inject=fsync:signal=%s:when=%d" % (caught.name,
                                                                                     when))
                self.assertEqual((status, image.folder(), err),
                                 (128 + caught, {"MACHINE.INF": text, "OTHER.INF":
                                                 OTHER_FILES["WINDOWS/INF/OTHER.INF"]},
                                  [(said % caught.name).format(img=image.path)]))
                self.assertEqual([line.split("(")[0] for line in log if "(" in line][-2:],
                                 ["wait4", "fsync"])
                self.assertEqual(image.fsck(), "")


    def test_a_signal_while_mtools_runs(self):
        # SIGTERM as the program begins to wait for each mtools command in
        # turn, with every write slowed down so that the command is still at
        # work: a change of the image always runs to its end before the run's
        # unfinished files are deleted.
        image = self.image(inf={"MACHINE.INF": MACHINE_INF})
        status, log, _ = strace(self.ARGS + [image.path], "-e", "trace=wait4")
        self.assertEqual(status, 0)
        for when in range(1, len(log) + 1):
            with self.subTest(when=when):
                image.put("WINDOWS/INF/MACHINE.INF", MACHINE_INF)
                status, _, _ = strace(self.ARGS + [image.path], "-f", "-e", "trace=wait4,write",
                                   "-e", "inject=write:delay_enter=10000",
                                   "-e", "inject=wait4:signal=SIGTERM:when=%d" % when)
                files = image.folder()
                self.assertEqual(status, 128 + signal.SIGTERM)
                self.assertEqual(sorted(files), ["MACHINE.INF", "OTHER.INF"])
                self.assertIn(files["MACHINE.INF"], (MACHINE_INF, MACHINE_INF_INSTALLED))
                self.assertEqual(image.fsck(), "")


class Dialog(ImageTest):
    """The terminal dialog on an image: Install, and a refused image."""

    def test_dialog(self):
        image = self.image()
        term = Terminal(["--image", image.path])
        self.addCleanup(term.close)
        # SYSTEM.DAT says kind 2: no warning, and the IRQ router lines go in.
        term.wait_for_text("< Install >")
        term.keys("Enter")
        box = term.wait_for(lambda s: read_box(s, "OK"), "OK box")
        self.assertEqual(box["lines"], [" The utility has updated completely!"])
        self.assertEqual(image.folder()["MACHINE.INF"], MACHINE_INF_INSTALLED_KIND2)

        # A SYSTEM.DAT that is no registry: the reason comes before the warning.
        spoilt = self.image(others={"WINDOWS/WIN.COM": b"x", "WINDOWS/SYSTEM.DAT": b"junk"})
        term = Terminal(["--image", spoilt.path])
        self.addCleanup(term.close)
        box = term.wait_for(lambda s: read_box(s, "Tamrix"), "Tamrix box")
        self.assertTrue(" ".join(box["lines"]).startswith(
            "Windows in the image: unknown (SYSTEM.DAT: not read as a registry: "), box)
        term.keys("Enter")
        term.wait_for(lambda s: read_box(s, "Warning"), "Warning box")

        read_only = self.image()
        os.chmod(read_only.path, 0o444)
        term = Terminal(["--image", read_only.path])
        self.addCleanup(term.close)
        box = term.wait_for(lambda s: read_box(s, "Tamrix"), "Tamrix box")
        self.assertIn("is read-only; nothing was changed.", " ".join(box["lines"]))
        term.keys("Enter")
        self.assertEqual(term.wait_for_exit(), 1)


class Interruptions(ImageTest):
    """SIGTERM to the program, or SIGINT to its process group as Ctrl-C in a
    terminal sends it, at random moments of an Install: MACHINE.INF holds
    its old or its new text, nothing is left beside it, and the volume is
    clean."""

    def test_signals_leave_the_old_or_the_new_text(self):
        old = MACHINE_INF + b"".join(b"; filler line %07d of a grown machine.inf\r\n" % n
                                     for n in range(40000))
        image = self.image("FAT16 partition at sector 63", inf={"MACHINE.INF": old})
        args = [tamrix_program(), "install", "--chipsets", "--platform-kind", "1", "--image",
                image.path]
        started = time.monotonic()
        self.assertEqual(subprocess.run(args, capture_output=True).returncode, 0)
        seconds = time.monotonic() - started
        new = installed_on_a_folder(self, old)
        self.assertEqual(image.folder()["MACHINE.INF"], new)
        seen = set()
        moments = chance(self)
        for attempt in range(16):
            image.put("WINDOWS/INF/MACHINE.INF", old)
            run = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   start_new_session=True)
            time.sleep(moments.uniform(0, seconds))
            if attempt % 2:
                os.killpg(run.pid, signal.SIGINT)
            else:
                run.send_signal(signal.SIGTERM)
            status = run.wait()
            files = image.folder()
            self.assertEqual(sorted(files), ["MACHINE.INF", "OTHER.INF"], attempt)
            self.assertIn(files["MACHINE.INF"], (old, new), attempt)
            self.assertIn(status, (0, 130, 143, -signal.SIGINT, -signal.SIGTERM), attempt)
            self.assertEqual(image.fsck(), "", attempt)
            seen.add(files["MACHINE.INF"] == new)
        self.assertIn(False, seen)


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
