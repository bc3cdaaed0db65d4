"""Exit's deletion of the ten device keys from the offline registry, the
Windows folder's SYSTEM.DAT (made by tests/posix/system_dat.py), through
the built `tamrix`: on a folder and in a disk image, the new file proved
against libcreg's cregexport, the old one kept as SYSTEM.TX0 with its
attributes, refusals and --keep-registry leaving it alone, and a failure at
each step of the swap leaving SYSTEM.DAT old or new.

Usage: TAMRIX=path/to/tamrix python3 test_offline_registry.py
"""

import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import system_dat  # noqa: E402
from system_dat import Shape  # noqa: E402
from tamrix_fixtures import (COMPLETED, MACHINE_INF, OFFLINE_NOTE, RESTART, USB_INF,  # noqa: E402
                             WindowsFolder, finish_lines, run_cli)
from test_images import Image  # noqa: E402
from test_registry_file import DEVICES, TEN, cregexport, machine_keys, within  # noqa: E402
from test_terminal_dialog import DialogCase, Terminal, read_box  # noqa: E402

BOTH = {"MACHINE.INF": MACHINE_INF, "USB.INF": USB_INF}
INSTALL = ["install", "--platform-kind", "1", "--no"]
DA0 = b"Windows' own backup, never touched"


def removed(count, where):
    devices = "The ten devices were" if count == 10 else "%d of the ten devices were" % count
    return ("Finish: %s removed from the registry of %s (the previous one is SYSTEM.TX0): "
            "Windows detects them anew at its next start." % (devices, where))


def held(count):
    return "SYSTEM.DAT: holds %d of the ten device keys" % count


class OnAFolder(unittest.TestCase):
    def folder(self, registry, extra=None):
        folder = WindowsFolder(BOTH, inf_name="INF")
        self.addCleanup(folder.close)
        for name, data in dict({"SYSTEM.DAT": registry, "SYSTEM.DA0": DA0}, **(extra or {})).items():
            path = os.path.join(folder.windows, name)
            if data is None:
                os.makedirs(os.path.join(path, "inside"))
            else:
                with open(path, "wb") as f:
                    f.write(data)
        return folder

    def files(self, folder):
        """The Windows folder's own files, INF aside: name -> bytes (None: a folder)."""
        result = {}
        for name in sorted(os.listdir(folder.windows)):
            path = os.path.join(folder.windows, name)
            if name != "INF" and os.path.isdir(path):
                result[name] = None
            elif name != "INF":
                with open(path, "rb") as f:
                    result[name] = f.read()
        return result

    def test_exit_on_a_folder(self):
        full = system_dat.build(machine_keys(DEVICES, lower=True), Shape("98", 30, True))
        four = system_dat.build(machine_keys(DEVICES[3:7]), Shape("95", 40, False))
        none = system_dat.build(machine_keys([]), Shape("95", 40, True))
        damaged = full[:-100] + b"\xAA" + full[-99:]  # the last block's checksum is wrong
        note = "Finish: The registry of {win} was left as it was: SYSTEM.DAT "
        rows = [
            # what, SYSTEM.DAT, other files, options, Exit's lines, keys held before
            ("ten", full, {}, [], [RESTART + "No", removed(10, "{win}")], 10),
            ("four, and an older backup", four, {"SYSTEM.TX0": b"older"}, [],
             [RESTART + "No", removed(4, "{win}")], 4),
            ("none", none, {}, [],
             [RESTART + "No", "Finish: None of the ten devices is in the registry of {win}: it "
              "was left as it was."], 0),
            ("--keep-registry", full, {}, ["--keep-registry"], finish_lines(), 10),
            ("a wrong checksum", damaged, {}, [],
             [note + "has a wrong checksum in data block (RGDB) %d." % (len(system_dat.blocks(
                 full)) - 1)] + finish_lines(), None),
        ]
        for what, registry, extra, options, lines, keys in rows:
            with self.subTest(what):
                folder = self.folder(registry, extra)
                before = self.files(folder)
                status = run_cli(["status", "--windows-dir", folder.windows])[1][-1]
                self.assertEqual(status, held(keys) if keys is not None else
                                 "SYSTEM.DAT: not read as a registry: SYSTEM.DAT has a wrong "
                                 "checksum in data block (RGDB) %d" % (
                                     len(system_dat.blocks(full)) - 1))
                got = run_cli(INSTALL + options + ["--windows-dir", folder.windows])
                self.assertEqual(got, (0, [COMPLETED] + [line.replace("{win}", folder.windows)
                                                         for line in lines], []))
                after = self.files(folder)
                if lines[-1].startswith("Finish: The ten") or lines[-1].startswith("Finish: 4"):
                    path = os.path.join(folder.windows, "SYSTEM.DAT")
                    self.assertEqual(after, dict(before, **{"SYSTEM.DAT": after["SYSTEM.DAT"],
                                                            "SYSTEM.TX0": registry}))
                    self.assertEqual(len(after["SYSTEM.DAT"]), len(registry))
                    with open(os.path.join(folder.root, "old"), "wb") as f:
                        f.write(registry)
                    self.assertEqual(cregexport(path), [key for key in cregexport(
                        os.path.join(folder.root, "old")) if not within(key[0], TEN)])
                    self.assertEqual(run_cli(["status", "--windows-dir", folder.windows])[1][-1],
                                     held(0))
                else:
                    self.assertEqual(after, before)

    def test_a_failed_step_leaves_the_old_registry(self):
        registry = system_dat.build(machine_keys(DEVICES[:2]), Shape("95", 40, True))
        devices = " /     ".join(device[len("Enum\\"):] for device in TEN[:2])
        for what, extra, why in [
                ("SYSTEM.TX1 a folder", {"SYSTEM.TX1": None},
                 "SYSTEM.TX1, the new registry, could not be written"),
                ("SYSTEM.TX0 a folder", {"SYSTEM.TX0": None},
                 "SYSTEM.DAT could not be renamed to SYSTEM.TX0 and replaced")]:
            with self.subTest(what):
                folder = self.folder(registry, extra)
                before = self.files(folder)
                got = run_cli(INSTALL + ["--windows-dir", folder.windows])
                self.assertEqual(got, (0, [COMPLETED, RESTART + "No"], [
                    "Finish: The devices could not be removed from the registry of %s: %s.  It "
                    "was left as it was. / At that Windows' next start, remove these devices in "
                    "Device Manager, then restart it: /     %s" % (folder.windows, why, devices)]))
                self.assertEqual(self.files(folder), before)


class InTheDialog(DialogCase):
    def test_install_then_exit(self):
        registry = system_dat.build(machine_keys(DEVICES), Shape("95", 40, True))
        self.folder = WindowsFolder(BOTH)
        self.addCleanup(self.folder.close)
        with open(os.path.join(self.folder.windows, "SYSTEM.DAT"), "wb") as f:
            f.write(registry)
        term = self.term = Terminal(["--platform-kind", "1", self.folder.windows])
        self.addCleanup(term.close)
        self.wait_for_dialog()
        term.keys("Enter")  # Install
        self.wait_for_box("OK")
        term.keys("Enter", "Escape", "Tab", "Tab", "Tab", "Tab", "Tab")
        self.wait_for_dialog("< Exit >")
        term.keys("Enter")
        self.wait_for_box("Finish")
        term.keys("n")
        box = term.wait_for(lambda s: (lambda b: b if b and b["icon"] else None)(
            read_box(s, "Finish")), "registry box")
        self.assertIn("The ten devices were removed", " ".join(box["lines"]))
        term.keys("Enter")
        self.assertEqual(term.wait_for_exit(), 0)
        self.assertEqual(term.transcript(), [RESTART + "No", removed(10, self.folder.windows)])
        with open(os.path.join(self.folder.windows, "SYSTEM.TX0"), "rb") as f:
            self.assertEqual(f.read(), registry)


class InAnImage(unittest.TestCase):
    """SYSTEM.DAT hidden, system and read-only in a FAT12 floppy."""

    def image(self, registry):
        others = {"WINDOWS/WIN.COM": b"x", "WINDOWS/SYSTEM.DAT": registry,
                  "WINDOWS/SYSTEM.DA0": DA0, "WINDOWS/SYSTEM/VMM32.VXD": bytes(range(256)) * 8}
        image = Image(inf=BOTH, others=others)
        self.addCleanup(image.close)
        return image

    def attributes(self, image, name):
        return image.mtools("mattrib", "::/WINDOWS/" + name).decode().split("::")[0].split()

    def registry(self, image, name="SYSTEM.DAT"):
        return image.mtools("mcopy", "::/WINDOWS/" + name, "-")

    def test_exit_in_an_image(self):
        old = system_dat.build(machine_keys(DEVICES), Shape("95", 40, True))
        image = self.image(old)
        others = image.everything_but({"MACHINE.INF", "USB.INF", "SYSTEM.DAT", "SYSTEM.TX0"})
        got = run_cli(INSTALL + ["--image", image.path])
        self.assertEqual(got[1][-1], removed(10, image.path + ":/WINDOWS"))
        self.assertEqual(self.registry(image, "SYSTEM.TX0"), old)
        new = self.registry(image)
        self.assertEqual(len(new), len(old))
        listings = []
        for data in (old, new):
            path = os.path.join(image.root, "SYSTEM.%d" % len(listings))
            with open(path, "wb") as f:
                f.write(data)
            listings.append(cregexport(path))
        self.assertEqual(listings[1], [key for key in listings[0] if not within(key[0], TEN)])
        for name in ("SYSTEM.DAT", "SYSTEM.TX0"):
            self.assertEqual(self.attributes(image, name), ["A", "SHR"])
        self.assertEqual(image.everything_but({"MACHINE.INF", "USB.INF", "SYSTEM.DAT",
                                               "SYSTEM.TX0"}), others)
        self.assertEqual(image.fsck(), "")

    def test_a_failure_at_each_step(self):
        # Every mtools command that names a SYSTEM file fails in turn, as a
        # full disk or an I/O error would make it: SYSTEM.DAT stays old or
        # becomes new, never goes missing, and keeps its attributes.
        old = system_dat.build(machine_keys(DEVICES[:3]), Shape("98", 30, False))
        image = self.image(old)
        bin_dir = os.path.join(image.root, "bin")
        os.mkdir(bin_dir)
        log, fail_at = os.path.join(image.root, "log"), os.path.join(image.root, "fail_at")
        for name in ("mcopy", "mren", "mdel", "mattrib"):
            with open(os.path.join(bin_dir, name), "w") as f:
                f.write('#!/bin/sh\ncase "$*" in *SYSTEM.*)\n'
                        '  echo "%s $*" >> %s; n=$(wc -l < %s)\n'
                        '  [ "$n" = "$(cat %s 2>/dev/null)" ] && exit 1;;\nesac\n'
                        'exec %s "$@"\n' % (name, log, log, fail_at, shutil.which(name)))
            os.chmod(os.path.join(bin_dir, name), 0o755)
        path = {"PATH": bin_dir + ":" + os.environ["PATH"]}

        def run(step):
            for name, data in (("SYSTEM.DAT", old), ("SYSTEM.TX0", b"an older backup")):
                if name in image.folder("WINDOWS"):
                    image.mtools("mattrib", "-r", "-s", "-h", "::/WINDOWS/" + name)
                image.put("WINDOWS/" + name, data)
            image.mtools("mattrib", "+r", "+s", "+h", "::/WINDOWS/SYSTEM.DAT")
            image.put("WINDOWS/INF/MACHINE.INF", MACHINE_INF)
            with open(fail_at, "w") as f:
                f.write(str(step))
            if os.path.exists(log):
                os.unlink(log)
            run_cli(INSTALL + ["--image", image.path, "--chipsets"], env_extra=path)
            with open(log) as f:
                calls = f.read().splitlines()
            if os.environ.get("SHOW_STEPS"):
                print("\n".join(calls))
            return len(calls), image.folder("WINDOWS")

        steps, files = run(0)
        new = files["SYSTEM.DAT"]
        self.assertEqual((files["SYSTEM.TX0"], len(new)), (old, len(old)))
        self.assertGreater(steps, 5)
        for step in range(1, steps + 1):
            with self.subTest(step=step):
                _, files = run(step)
                self.assertIn(files["SYSTEM.DAT"], (old, new))
                self.assertNotIn("SYSTEM.TX1", files)
                self.assertEqual(files["SYSTEM.DA0"], DA0)
                self.assertEqual(self.attributes(image, "SYSTEM.DAT"), ["A", "SHR"])
                self.assertEqual(image.fsck(), "")


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
