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

import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from types import SimpleNamespace

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tamrix_fixtures import (MACHINE_INF, MACHINE_INF_INSTALLED_KIND2, OFFLINE_NOTE,  # noqa: E402
                             USB_INF_INSTALLED, run_cli, tamrix_program)
from test_images import (BOTH, NO_DEVICE_KEYS, OSR2_LINE, OTHER_FILES, TOUCHED,  # noqa: E402
                         Image, ImageTest, installed_on_a_folder, none_in_the_registry, tool)

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

    def run_on(self, args, path):
        return run_cli(args + ["--image", path], env_extra={"TMPDIR": self.scratch})

    def assert_nothing_left(self):
        self.assertEqual(os.listdir(self.scratch), [])
        with open("/proc/self/mountinfo") as f:
            self.assertNotIn(self.scratch, f.read())
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    self.assertNotIn(self.scratch.encode(), f.read())
            except OSError:
                pass

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
                    self.assertEqual(on_image, (on_folder[0], [OSR2_LINE] + lines + keys,
                                                on_folder[2]))
                    self.assert_nothing_left()
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
        self.assert_nothing_left()
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


class Refusals(FormatTest):
    """Each format or kind refused leaves the file byte-identical and says
    what it is."""

    @staticmethod
    def vhd_disk_type(path, disk_type):
        size = os.path.getsize(path)
        for footer in (0, size - 512):
            patch(path, footer + 60, disk_type.to_bytes(4, "big"))

    @staticmethod
    def vmdk_parent(path, _):
        with open(path, "rb") as f:
            data = f.read()
        with open(path, "wb") as f:
            f.write(data.replace(b"parentCID=ffffffff", b"parentCID=0badc0de"))

    CONVERT = (" / Convert it to a raw image, patch that, and use it (or convert it back): /"
               "   qemu-img convert -f {driver} -O raw {img} {raw}")
    ROWS = [
        # what, qemu-img convert's options, the change to the file, the message
        ("a differencing VHD", ["-O", "vpc"], lambda path, _: Refusals.vhd_disk_type(path, 4),
         "{img} is a differencing VHD, the changes to a parent VHD, which is where the Windows "
         "folder lies (QEMU would read it as a whole disk of its own): merge it into its parent "
         "in the program that made it, then patch the parent.  Nothing was changed."),
        ("a differencing VDI", ["-O", "vdi"], lambda path, _: patch(path, 0x1A8, b"\x42" * 16),
         "{img} is a differencing VirtualBox disk image (VDI), the changes of a snapshot to its "
         "parent image, which is where the Windows folder lies: merge the snapshot into its "
         "parent in VirtualBox, or patch the machine's current state there.  Nothing was "
         "changed."),
        ("a stream-optimized VMDK", ["-O", "vmdk", "-o", "subformat=streamOptimized"], None,
         "{img} is a stream-optimized VMware disk image (VMDK), made to be copied, not written: "
         "VMware and QEMU open it read-only.  Nothing was changed." + CONVERT),
        ("a VMDK snapshot's delta", ["-O", "vmdk"], vmdk_parent.__func__,
         "{img} is a VMware snapshot's delta disk (VMDK), the changes of a snapshot to its "
         "parent disk, which VMware checks by their IDs: delete the snapshots in VMware (which "
         "merges them), or patch the machine's current state there.  Nothing was changed."),
        ("an encrypted qcow2", ["-O", "qcow2"], lambda path, _: patch(path, 32, b"\0\0\0\2"),
         "{img} is a QEMU copy-on-write image (qcow2), encrypted: QEMU needs its key to open "
         "it.  Nothing was changed."),
        ("a qcow of version 1", ["-O", "qcow"], None,
         "{img} is an image of QEMU's first copy-on-write format (qcow, version 1), a format "
         "Tamrix does not change in place.  Nothing was changed." + CONVERT),
        ("no qemu-storage-daemon", ["-O", "qcow2"], "PATH",
         "Tamrix changes {img} through QEMU, which needs qemu-storage-daemon: install the "
         "package qemu-system-common.  Nothing was changed." + CONVERT),
    ]

    def test_rows(self):
        for what, options, spoil, message in self.ROWS:
            with self.subTest(what=what):
                image = self.image(LAYOUT)
                path = os.path.join(image.root, "win95.disk")
                tool("qemu-img", "convert", "-f", "raw", *options, image.path, path)
                env = {"TMPDIR": self.scratch}
                if spoil == "PATH":
                    # mtools and fusermount3, but no qemu-storage-daemon
                    tools = os.path.join(image.root, "bin")
                    os.mkdir(tools)
                    for program in ("mcopy", "mdir", "mren", "mdel", "fusermount3"):
                        os.symlink(shutil.which(program), os.path.join(tools, program))
                    env["PATH"] = tools
                elif spoil is not None:
                    spoil(path, None)
                before = digest_all(image.root)
                got = run_cli(["install", "--platform-kind", "1", "--image", path], env_extra=env)
                driver = options[1]
                self.assertEqual(got, (1, [], ["Tamrix: " + message.format(
                    # win95.img, the raw disk, is there: never named as the output.
                    img=path, driver=driver, raw=path[:-len(".disk")] + "-raw.img")]))
                self.assertEqual(digest_all(image.root), before)
                self.assert_nothing_left()


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
        # Its lock is there once qemu-img can no longer open the image.
        for _ in range(200):
            if subprocess.run(["qemu-img", "info", path], capture_output=True).returncode:
                break
            time.sleep(0.05)
        before = digest_all(image.root)
        got = self.run_on(["install", "--platform-kind", "1"], path)
        self.assertEqual(got, (4, [], [
            "Tamrix: The disk image %s is in use by another program, such as a virtual machine "
            "that has it open; nothing was changed.  Shut the virtual machine down first, then "
            "try again." % path]))
        self.assertEqual(digest_all(image.root), before)
        self.assert_nothing_left()

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
                      env_extra={"TMPDIR": self.scratch, "PATH": tools + ":" + os.environ["PATH"]})
        self.assertEqual(got[0], 3)
        self.assertEqual(got[2][-1], "Tamrix: qemu-storage-daemon, which wrote this run's changes "
                         "into %s, ended by signal 9: the image may lack some of them.  Check it "
                         "before using it: qemu-img check -f qcow2 %s" % (path, path))
        self.assert_nothing_left()
        self.assert_checked(path, "qcow2")


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
        env = dict(os.environ, TMPDIR=self.scratch)
        started = time.monotonic()
        subprocess.run(args + [image.path], check=True, capture_output=True)
        seconds = time.monotonic() - started + 0.05  # the daemon's start and end
        for attempt in range(6):
            image.put("WINDOWS/INF/MACHINE.INF", old)
            image, path = self.converted("qcow2", image)
            run = subprocess.Popen(args + [path], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, env=env, start_new_session=True)
            time.sleep(random.uniform(0, seconds))
            if attempt % 2:
                os.killpg(run.pid, signal.SIGINT)
            else:
                run.send_signal(signal.SIGTERM)
            # A signal before the handler is set ends it as the signal does.
            self.assertIn(run.wait(), (0, 130, 143, -signal.SIGINT, -signal.SIGTERM), attempt)
            self.assert_nothing_left()
            self.assert_checked(path, "qcow2")
            self.back_to_raw(image, path, "qcow2")
            files = image.folder()
            self.assertEqual(sorted(files), ["MACHINE.INF", "OTHER.INF"], attempt)
            self.assertIn(files["MACHINE.INF"], (old, new), attempt)
            self.assertEqual(image.fsck(), "", attempt)


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
