"""`tamrix --image` on the disk formats of emulators and virtual machines
(qcow2, VDI, VMDK, VHDX, dynamic VHD), changed in place through QEMU's
qemu-storage-daemon.

Each image is a raw disk made by test_images.py's builders, converted with
qemu-img.  A run on it must give the output and the INF bytes a run on a
folder gives; converted back to raw, every other file, its attributes and
the label are as before and fsck.fat finds the volume clean; qemu-img check
finds the image clean; and nothing is left behind: no daemon, no mount, no
scratch folder.  The formats Tamrix refuses stay byte-identical.

Usage: TAMRIX=path/to/tamrix python3 test_image_formats.py
"""

import fcntl
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
from types import SimpleNamespace

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tamrix_fixtures import (MACHINE_INF, MACHINE_INF_INSTALLED_KIND2, OFFLINE_NOTE,  # noqa: E402
                             USB_INF_INSTALLED, chance, run_cli, tamrix_program)
from test_images import killed_during  # noqa: E402
from image_fixtures import (BOTH, NO_DEVICE_KEYS, OSR2_LINE,  # noqa: E402
                            OTHER_FILES, TOUCHED, Image, ImageTest, installed_on_a_folder,
                            none_in_the_registry, nothing_left, tool)

# name: qemu-img convert's options, the file's name, whether qemu-img check reads it
FORMATS = {
    "qcow2": (["-O", "qcow2"], "win95.qcow2", True),
    "VDI": (["-O", "vdi"], "win95.vdi", True),
    "dynamic VHD": (["-O", "vpc"], "win95.vhd", False),
    "VMDK, sparse": (["-O", "vmdk"], "win95.vmdk", True),
    "VMDK, flat": (["-O", "vmdk", "-o", "subformat=monolithicFlat"], "win95.vmdk", True),
    "VHDX": (["-O", "vhdx"], "win95.vhdx", True),
}
LAYOUT = "FAT16 partition at sector 63"


def missing_tools():
    """Why the export cannot run here, or None."""
    for program, package in [("qemu-storage-daemon", "qemu-system-common"),
                             ("qemu-img", "qemu-utils"), ("fusermount3", "fuse3")]:
        if shutil.which(program) is None:
            return "%s is not installed (package %s)" % (program, package)
    try:
        os.close(os.open("/dev/fuse", os.O_RDWR))
    except OSError as error:
        return "/dev/fuse cannot be opened: %s" % error
    return None


def patch(path, offset, data):
    with open(path, "r+b") as f:
        f.seek(offset)
        f.write(data)


def file_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def made_dirty(path):
    """A qcow2 with lazy refcounts left dirty: zeros into the disk's last,
    unallocated cluster, an allocation whose refcount the abort leaves
    unwritten (incompatible feature bit 0, the byte at 79, set)."""
    tool("qemu-img", "amend", "-o", "lazy_refcounts=on", path)
    subprocess.run(["qemu-io", "-c", "write -P 0 %d 64k" % ((40 << 20) - (64 << 10)),
                    "-c", "abort", path], capture_output=True)


def digest_all(root):
    """The bytes of every file in a folder, by name."""
    return {name: file_bytes(os.path.join(root, name)) for name in sorted(os.listdir(root))
            if not os.path.isdir(os.path.join(root, name))}


@unittest.skipIf(missing_tools(), missing_tools())
class FormatTest(ImageTest):
    def setUp(self):
        # The run's scratch folders go here, so that what it leaves is seen.
        self.scratch = tempfile.mkdtemp(prefix="tamrix-scratch-")
        self.addCleanup(shutil.rmtree, self.scratch, True)

    def converted(self, name, image=None):
        """An image in format `name`, converted from a raw one; (image, path)."""
        image = image or self.image(LAYOUT)
        options, file_name, _ = FORMATS[name]
        path = os.path.join(image.root, file_name)
        tool("qemu-img", "convert", "-f", "raw", *options, image.path, path)
        return image, path

    def env(self):
        return {"TMPDIR": self.scratch, "XDG_RUNTIME_DIR": self.scratch}

    def run_on(self, args, path):
        return run_cli(args + ["--image", path], env_extra=self.env())

    @staticmethod
    def back_to_raw(image, path, name):
        """The image's raw disk, as the format holds it now."""
        driver = FORMATS[name][0][1]
        tool("qemu-img", "convert", "-f", driver, "-O", "raw", path, image.path)

    def assert_checked(self, path, name):
        if FORMATS[name][2]:
            tool("qemu-img", "check", "-f", FORMATS[name][0][1], path)


class SameAsAFolder(FormatTest):
    def test_install_status_and_uninstall_in_each_format(self):
        for name in FORMATS:
            with self.subTest(format=name):
                image, path = self.converted(name)
                folder = self.folder(BOTH)
                others = image.everything_but(TOUCHED)
                for command, after in [("install", {"MACHINE.INF": MACHINE_INF_INSTALLED_KIND2,
                                                    "USB.INF": USB_INF_INSTALLED}),
                                       ("status", None), ("install --dry-run", None),
                                       ("uninstall", BOTH)]:
                    before = file_bytes(path)
                    answer = [] if command == "status" else ["--no"]
                    on_image = self.run_on(command.split() + answer, path)
                    on_folder = run_cli(command.split() + answer + [
                        "--windows-dir", folder.windows, "--platform-kind", "2"])
                    # The folder has no SYSTEM.DAT; the image's lacks the devices.
                    lines = [none_in_the_registry(SimpleNamespace(path=path))
                             if line == OFFLINE_NOTE else line for line in on_folder[1]]
                    keys = [NO_DEVICE_KEYS] if command == "status" else []
                    if "--dry-run" in command:  # a pure diff, the kind found apart
                        self.assertEqual(on_image, (on_folder[0], lines, [OSR2_LINE] + on_folder[2]))
                    else:
                        self.assertEqual(on_image, (on_folder[0], [OSR2_LINE] + lines + keys,
                                                    on_folder[2]))
                    nothing_left(self, self.scratch)
                    self.assert_checked(path, name)
                    if after is None:  # nothing written: not a byte of the image
                        self.assertEqual(file_bytes(path), before)
                        continue
                    self.back_to_raw(image, path, name)
                    self.assertEqual(image.folder(), dict(after, **{"OTHER.INF":
                                     OTHER_FILES["WINDOWS/INF/OTHER.INF"]}))
                    self.assertEqual(image.everything_but(TOUCHED), others)
                    self.assertEqual(image.fsck(), "")

    def test_a_qcow2_overlay_takes_the_change_and_its_backing_file_stays(self):
        image = self.image(LAYOUT)
        overlay = os.path.join(image.root, "overlay.qcow2")
        tool("qemu-img", "create", "-q", "-f", "qcow2", "-F", "raw", "-b", image.path, overlay)
        before = image.digest()
        self.assertEqual(self.run_on(["install", "--chipsets", "--platform-kind", "1"],
                                     overlay)[0], 0)
        nothing_left(self, self.scratch)
        self.assertEqual(image.digest(), before)
        raw = os.path.join(image.root, "overlay.img")
        tool("qemu-img", "convert", "-f", "qcow2", "-O", "raw", overlay, raw)
        self.assertEqual(tool("mcopy", "-i", "%s@@%d" % (raw, image.offset),
                              "::/WINDOWS/INF/MACHINE.INF", "-"),
                         installed_on_a_folder(self, MACHINE_INF))

    def test_a_qcow2s_own_snapshot_keeps_what_it_held(self):
        image, path = self.converted("qcow2")
        tool("qemu-img", "snapshot", "-c", "before", path)
        self.assertEqual(self.run_on(["install", "--platform-kind", "1"], path)[0], 0)
        self.assert_checked(path, "qcow2")
        tool("qemu-img", "snapshot", "-a", "before", path)
        self.back_to_raw(image, path, "qcow2")
        self.assertEqual(image.folder()["MACHINE.INF"], MACHINE_INF)

    def test_sound_by_qemus_rules(self):
        """A dirty qcow2 (lazy refcounts; QEMU rebuilds them), one with a
        leaked cluster (space lost, no data), and a dynamic VHD whose end
        footer differs from its copy at the start (QEMU reads the copy
        alone) are patched."""
        def dirty(path):
            made_dirty(path)
            self.assertEqual(file_bytes(path)[79] & 1, 1)
        def leaked(path):
            # One more cluster, counted once and used by nothing.
            data = file_bytes(path)
            table = struct.unpack_from(">Q", data, 48)[0]
            block = struct.unpack_from(">Q", data, table)[0]
            patch(path, len(data), bytes(64 << 10))
            patch(path, block + 2 * (len(data) >> 16), b"\0\1")
            self.assertEqual(subprocess.run(["qemu-img", "check", path],
                                            capture_output=True).returncode, 3)
        def end_footer(path):
            patch(path, os.path.getsize(path) - 512 + 28, b"zzzz")  # its creator
        for what, name, spoil in [("dirty", "qcow2", dirty), ("leaked", "qcow2", leaked),
                                  ("end footer", "dynamic VHD", end_footer)]:
            with self.subTest(what):
                image, path = self.converted(name)
                spoil(path)
                self.assertEqual(self.run_on(["install", "--no", "--platform-kind", "1"],
                                             path)[0], 0)
                nothing_left(self, self.scratch)
                if what != "leaked":  # the leak stays
                    self.assert_checked(path, name)
                self.back_to_raw(image, path, name)
                self.assertEqual(image.folder()["MACHINE.INF"],
                                 installed_on_a_folder(self, MACHINE_INF))


class Refusals(FormatTest):
    """Each format or kind refused leaves the file byte-identical and says
    what it is."""

    def test_no_place_for_the_scratch_folder(self):
        # The remedy is a folder to write in; converting the image would not help.
        image, path = self.converted("qcow2")
        before = file_bytes(path)
        nowhere = os.path.join(self.scratch, "missing")
        got = run_cli(["install", "--platform-kind", "1", "--image", path],
                      env_extra={"TMPDIR": nowhere, "XDG_RUNTIME_DIR": ""})
        self.assertEqual(got, (1, [], [
            "Tamrix: Can't make a scratch folder for the export of %s in %s: No such file or "
            "directory; nothing was changed.  Set XDG_RUNTIME_DIR or TMPDIR to a folder you "
            "may write in." % (path, nowhere)]))
        self.assertEqual(file_bytes(path), before)

    @staticmethod
    def vhd_disk_type(path, disk_type):
        size = os.path.getsize(path)
        for footer in (0, size - 512):
            patch(path, footer + 60, disk_type.to_bytes(4, "big"))
            Refusals.vhd_checksum(path, footer, 0)

    @staticmethod
    def vhd_checksum(path, footer, wrong_by):
        """The footer at `footer` gets its right checksum, plus `wrong_by`."""
        data = bytearray(file_bytes(path)[footer:footer + 512])
        data[64:68] = bytes(4)
        patch(path, footer + 64, ((~sum(data) + wrong_by) & 0xFFFFFFFF).to_bytes(4, "big"))

    @staticmethod
    def qcow2_cut_short(path, _):
        os.truncate(path, os.path.getsize(path) - (64 << 10))  # its last cluster

    @staticmethod
    def vmdk_parent(path, _):
        with open(path, "rb") as f:
            data = f.read()
        with open(path, "wb") as f:
            f.write(data.replace(b"parentCID=ffffffff", b"parentCID=0badc0de"))

    DAMAGED_BY_CHECK = (
        "The disk image {img} is damaged: qemu-img check finds errors in it, which a write "
        "could make worse; nothing was changed.  Restore it from a backup, or try "
        "'qemu-img check -r all -f qcow2 {img}' on a copy\\. / qemu-img check said: ")
    CONVERT = (" / Convert it to a raw image, patch that, and use it (or convert it back): /"
               "   qemu-img convert -f {driver} -O raw {img} {raw}")
    VHD_SUM = ("{img} is a %s VHD, damaged: the checksum of its footer%s is 0x[0-9A-F]{{8}}, its "
               "bytes give 0x[0-9A-F]{{8}}; nothing was changed\\.")
    ROWS = [
        # what, qemu-img convert's options, the change to the file, install's status, the
        # message (a pattern where it holds numbers that vary)
        ("a differencing VHD", ["-O", "vpc"], lambda path, _: Refusals.vhd_disk_type(path, 4), 1,
         "{img} is a differencing VHD, the changes to a parent VHD, which is where the Windows "
         "folder lies (QEMU would read it as a whole disk of its own): merge it into its parent "
         "in the program that made it, then patch the parent; nothing was changed."),
        ("a differencing VDI", ["-O", "vdi"], lambda path, _: patch(path, 0x1A8, b"\x42" * 16), 1,
         "{img} is a differencing VirtualBox disk image (VDI), the changes of a snapshot to its "
         "parent image, which is where the Windows folder lies: merge the snapshot into its "
         "parent in VirtualBox, or patch the machine's current state there; nothing was "
         "changed."),
        ("a stream-optimized VMDK", ["-O", "vmdk", "-o", "subformat=streamOptimized"], None, 1,
         "{img} is a stream-optimized VMware disk image (VMDK), made to be copied, not written: "
         "VMware and QEMU open it read-only; nothing was changed." + CONVERT),
        ("a VMDK snapshot's delta", ["-O", "vmdk"], vmdk_parent.__func__, 1,
         "{img} is a VMware snapshot's delta disk (VMDK), the changes of a snapshot to its "
         "parent disk, which VMware checks by their IDs: delete the snapshots in VMware (which "
         "merges them), or patch the machine's current state there; nothing was changed."),
        ("an encrypted qcow2", ["-O", "qcow2"], lambda path, _: patch(path, 32, b"\0\0\0\2"), 1,
         "{img} is a QEMU copy-on-write image (qcow2), encrypted: QEMU needs its key to open "
         "it; nothing was changed."),
        ("a qcow of version 1", ["-O", "qcow"], None, 1,
         "{img} is an image of QEMU's first copy-on-write format (qcow, version 1), a format "
         "Tamrix does not change in place; nothing was changed." + CONVERT),
        ("no qemu-storage-daemon", ["-O", "qcow2"], "PATH", 1,
         "Tamrix changes {img} through QEMU, which needs qemu-storage-daemon: install the "
         "package qemu-system-common; nothing was changed." + CONVERT),
        ("another Tamrix", ["-O", "qcow2"], "flock", 4,
         "Another Tamrix is changing {img} right now; nothing was changed.  Try again when it "
         "has finished."),
        # Damaged: status 1 for install, 3 for status and --dry-run.
        ("a qcow2 marked corrupt", ["-O", "qcow2"], lambda path, _: patch(path, 79, b"\2"), 1,
         "{img} is a QEMU copy-on-write image (qcow2), marked as damaged; 'qemu-img check -r "
         "all' repairs it; nothing was changed."),
        ("a qcow2 cut short", ["-O", "qcow2"], qcow2_cut_short.__func__, 1, re.compile(
            DAMAGED_BY_CHECK + "ERROR: counting reference for region exceeding the end of the "
            "file by one cluster or more: offset 0x[0-9a-f]+ size 0x10000"
            "( \\(and [0-9]+ more\\))?; [0-9]+ "
            "errors? (was|were) found on the image\\. Data may be corrupted, or further writes "
            "to the image may corrupt it\\.")),
        # Refcounts that disagree are allowed on a dirty qcow2 alone (QEMU
        # rebuilds them), and only when they are all that is wrong.
        ("refcount errors, the dirty bit clear", ["-O", "qcow2"],
         lambda path, _: (made_dirty(path), patch(path, 79, b"\0")), 1, re.compile(
             DAMAGED_BY_CHECK + "ERROR cluster [0-9]+ refcount=0 reference=1 \\(and 1 more\\); "
             "2 errors were found on the image\\. Data may be corrupted, or further writes to "
             "the image may corrupt it\\.")),
        ("dirty and cut short", ["-O", "qcow2"],
         lambda path, _: (made_dirty(path), Refusals.qcow2_cut_short(path, _)), 1,
         re.compile(DAMAGED_BY_CHECK + "ERROR: counting reference for region exceeding .+")),
        ("a fixed VHD's checksum", ["-O", "vpc", "-o", "subformat=fixed"],
         lambda path, _: Refusals.vhd_checksum(path, os.path.getsize(path) - 512, 1), 1,
         re.compile(VHD_SUM % ("fixed", ""))),
        ("a dynamic VHD's checksum", ["-O", "vpc"],
         lambda path, _: Refusals.vhd_checksum(path, 0, 1), 1,
         re.compile(VHD_SUM % ("dynamic", "'s copy at its start"))),
        ("a dynamic VHD cut short", ["-O", "vpc"],
         lambda path, _: os.truncate(path, os.path.getsize(path) - 512), 1,
         "{img} is a dynamic VHD, damaged: its end holds no footer, so the file was cut "
         "short; nothing was changed."),
    ]
    DAMAGED = {"a qcow2 marked corrupt", "a qcow2 cut short",
               "refcount errors, the dirty bit clear", "dirty and cut short",
               "a fixed VHD's checksum", "a dynamic VHD's checksum", "a dynamic VHD cut short"}

    def test_rows(self):
        for what, options, spoil, status, message in self.ROWS:
            with self.subTest(what=what):
                image = self.image(LAYOUT)
                path = os.path.join(image.root, "win95.disk")
                tool("qemu-img", "convert", "-f", "raw", *options, image.path, path)
                env = self.env()
                if spoil == "PATH":
                    # mtools, fusermount3 and qemu-img, but no qemu-storage-daemon
                    tools = os.path.join(image.root, "bin")
                    os.mkdir(tools)
                    for program in ("mcopy", "mdir", "mren", "mdel", "fusermount3", "qemu-img"):
                        os.symlink(shutil.which(program), os.path.join(tools, program))
                    env["PATH"] = tools
                elif spoil == "flock":
                    held = os.open(path, os.O_RDONLY)
                    self.addCleanup(os.close, held)
                    fcntl.flock(held, fcntl.LOCK_EX)
                elif spoil is not None:
                    spoil(path, None)
                before = digest_all(image.root)
                driver = options[1]
                words = dict(img=path, driver=driver, raw=path[:-len(".disk")] + "-raw.img")
                # win95.img, the raw disk, is there: never named as the output.
                expected = (re.compile(message.pattern.format(**{k: re.escape(v) for k, v in
                                                                 words.items()}))
                            if isinstance(message, re.Pattern) else message.format(**words))
                runs = [("install", status)]
                if what in self.DAMAGED:
                    runs += [("status", 3), ("install --dry-run", 3)]
                for command, wanted in runs:
                    got = run_cli(command.split() + ["--platform-kind", "1", "--image", path],
                                  env_extra=env)
                    self.assertEqual(got[:2], (wanted, []), command)
                    self.assertEqual(len(got[2]), 1, got[2])
                    if isinstance(expected, re.Pattern):
                        self.assertRegex(got[2][0], "^Tamrix: " + expected.pattern + "$")
                    else:
                        self.assertEqual(got[2][0], "Tamrix: " + expected)
                self.assertEqual(digest_all(image.root), before)
                nothing_left(self, self.scratch)


class TheDaemonAndItsLocks(FormatTest):
    @unittest.skipIf(shutil.which("qemu-system-i386") is None,
                     "qemu-system-i386 is not installed (package qemu-system-x86)")
    def test_a_virtual_machine_running_on_the_image(self):
        image, path = self.converted("qcow2")
        machine = subprocess.Popen(["qemu-system-i386", "-display", "none", "-S", "-nodefaults",
                                    "-drive", "file=%s,format=qcow2" % path],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.addCleanup(machine.wait)
        self.addCleanup(machine.kill)
        # Its lock is there once qemu-img can no longer open the image: on
        # a busy machine QEMU may take many seconds to start.
        for _ in range(1200):
            if subprocess.run(["qemu-img", "info", path], capture_output=True).returncode:
                break
            time.sleep(0.05)
        else:
            self.fail("the virtual machine never locked %s" % path)
        before = digest_all(image.root)
        got = self.run_on(["install", "--platform-kind", "1"], path)
        self.assertEqual(got, (4, [], [
            "Tamrix: The disk image %s is in use by another program, such as a virtual machine "
            "that has it open; nothing was changed.  Shut the virtual machine down first, then "
            "try again." % path]))
        self.assertEqual(digest_all(image.root), before)
        nothing_left(self, self.scratch)

    def test_a_daemon_that_dies_during_the_run(self):
        # The first rename kills the daemon, then runs.
        image, path = self.converted("qcow2")
        tools = os.path.join(image.root, "bin")
        os.mkdir(tools)
        for program in ("mcopy", "mdir", "mdel", "fusermount3", "qemu-storage-daemon"):
            os.symlink(shutil.which(program), os.path.join(tools, program))
        with open(os.path.join(tools, "mren"), "w") as f:
            f.write("#!/bin/sh\npkill -KILL -f 'qemu-storage-daemon .*%s/'\nsleep 0.1\nexec %s \"$@\"\n"
                    % (self.scratch, shutil.which("mren")))
        os.chmod(os.path.join(tools, "mren"), 0o755)
        got = run_cli(["install", "--platform-kind", "1", "--image", path],
                      env_extra=dict(self.env(), PATH=tools + ":" + os.environ["PATH"]))
        self.assertEqual(got[0], 3)
        self.assertEqual(got[2][-1], "Tamrix: qemu-storage-daemon, which wrote this run's changes "
                         "into %s, ended by signal 9: the image may lack some of them.  Check it "
                         "before using it: qemu-img check -f qcow2 %s" % (path, path))
        nothing_left(self, self.scratch)
        self.assert_checked(path, "qcow2")


    def test_a_closed_output_ends_a_dry_run_as_cat(self):
        image, path = self.converted("qcow2")
        before = file_bytes(path)
        # tamrix install --dry-run | head -1
        run = subprocess.Popen([tamrix_program(), "install", "--platform-kind", "1", "--dry-run",
                                "--image", path], stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               env=dict(os.environ, **self.env()))
        run.stdout.readline()
        run.stdout.close()
        # SIGPIPE, unless all it wrote fitted into the pipe before it closed.
        self.assertIn(run.wait(), (0, -signal.SIGPIPE))
        self.assertEqual(run.stderr.read(), b"")
        run.stderr.close()
        self.assertEqual(file_bytes(path), before)
        nothing_left(self, self.scratch)

    def test_killed_runs_leave_nothing(self):
        """SIGKILL at a spread of delays: the daemon ends with the program
        and unmounts; the next run removes the scratch folders."""
        moments = chance(self)
        image, path = self.converted("qcow2")
        args = [tamrix_program(), "install", "--no", "--platform-kind", "1", "--image", path]
        started = time.monotonic()
        self.assertEqual(self.run_on(args[1:-2], path)[0], 0)
        seconds = time.monotonic() - started  # the kills spread over a whole run
        for attempt in range(20):
            args[1] = ("install", "uninstall")[attempt % 2]
            run = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, env=dict(os.environ, **self.env()))
            delay = moments.uniform(0.005, seconds)
            time.sleep(delay)
            run.kill()
            run.wait()
            why = "attempt %d, %.3f s" % (attempt, delay)
            for _ in range(500):  # the daemon writes out what it holds, then goes
                if not self.daemons_and_mounts():
                    break
                time.sleep(0.01)
            self.assertEqual(self.daemons_and_mounts(), [], why)
        # SIGKILL while a slow mren runs (its shell and sleep outlive us): no
        # child of ours holds the watcher's pipe open, so the export and its
        # folder go at once.
        shell = killed_during(self, args, self.env(), "mren", 'sleep 3; exec "$REAL" "$@"')
        # The shell leads a process group of its own.
        self.addCleanup(subprocess.run, ["kill", "-KILL", "--", "-%d" % shell],
                        capture_output=True)
        for _ in range(100):
            if not self.daemons_and_mounts() and not os.listdir(self.scratch):
                break
            time.sleep(0.01)
        self.assertEqual((self.daemons_and_mounts(), os.listdir(self.scratch)), ([], []))
        # status reads the export read-only: a file the last kill left under
        # its backup name is reported missing (1), and the Install after it
        # puts it back.
        status = self.run_on(["status", "--platform-kind", "1"], path)
        self.assertIn(status[0], (0, 1, 3), status)
        if status[0] == 1:
            self.assertTrue(any("cut off" in line for line in status[1]), status)
            self.assertEqual(self.run_on(["install", "--platform-kind", "1"], path)[0], 0)
        self.assertEqual(os.listdir(self.scratch), [])
        nothing_left(self, self.scratch)
        self.assert_checked(path, "qcow2")

    def test_a_cut_off_swap_under_status(self):
        """status reads the export read-only: a file left under its backup
        name is reported missing and left so; the next Install puts it back."""
        image = self.image(LAYOUT)
        image.mtools("mren", "::/WINDOWS/INF/MACHINE.INF", "::/WINDOWS/INF/MACHINE.IN@")
        image, path = self.converted("qcow2", image)
        with open(path, "rb") as f:
            before = f.read()
        code, out, err = self.run_on(["status", "--platform-kind", "1"], path)
        self.assertEqual((code, out[0]), (1, "INF/MACHINE.INF: missing (a run that was cut off "
                                             "left its old text in MACHINE.IN@)"))
        self.assertIn("the next Install or Uninstall puts it back", err[0])
        with open(path, "rb") as f:
            self.assertEqual(f.read(), before)
        install = self.run_on(["install", "--platform-kind", "1"], path)
        self.assertEqual(install[0], 0)
        self.assertTrue(install[1][0].startswith("Put back: "), install)

    def daemons_and_mounts(self):
        """The daemons and mounts of runs in this test's scratch folder."""
        with open("/proc/self/mountinfo") as f:
            found = [line for line in f if self.scratch in line]
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    if self.scratch.encode() in f.read():
                        found.append(pid)
            except OSError:
                pass
        return found


class Interruptions(FormatTest):
    """SIGTERM or SIGINT at random moments of an Install on a qcow2: each
    file old or new, the image clean, and nothing left behind."""

    def test_signals_leave_the_old_or_the_new_text_and_nothing_behind(self):
        old = MACHINE_INF + b"".join(b"; filler line %07d of a grown machine.inf\r\n" % n
                                     for n in range(20000))
        image = Image(LAYOUT, inf={"MACHINE.INF": old})
        self.addCleanup(image.close)
        new = installed_on_a_folder(self, old)
        args = [tamrix_program(), "install", "--chipsets", "--platform-kind", "1", "--image"]
        env = dict(os.environ, **self.env())
        started = time.monotonic()
        subprocess.run(args + [image.path], check=True, capture_output=True)
        seconds = time.monotonic() - started + 0.05  # the daemon's start and end
        moments = chance(self)
        for attempt in range(6):
            image.put("WINDOWS/INF/MACHINE.INF", old)
            image, path = self.converted("qcow2", image)
            run = subprocess.Popen(args + [path], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, env=env, start_new_session=True)
            time.sleep(moments.uniform(0, seconds))
            if attempt % 2:
                os.killpg(run.pid, signal.SIGINT)
            else:
                run.send_signal(signal.SIGTERM)
            # A signal before the handler is set ends it as the signal does.
            self.assertIn(run.wait(), (0, 130, 143, -signal.SIGINT, -signal.SIGTERM), attempt)
            nothing_left(self, self.scratch)
            self.assert_checked(path, "qcow2")
            self.back_to_raw(image, path, "qcow2")
            files = image.folder()
            self.assertEqual(sorted(files), ["MACHINE.INF", "OTHER.INF"], attempt)
            self.assertIn(files["MACHINE.INF"], (old, new), attempt)
            self.assertEqual(image.fsck(), "", attempt)


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
