"""Exit's deletion of the ten device keys from the offline registry, the
Windows folder's SYSTEM.DAT (made by tests/posix/system_dat.py, or written
by Windows ME: tests/data/registry), through the built `tamrix`: on a folder
and in a disk image, the new file proved against libcreg's cregexport, the
old one kept as SYSTEM.TX0 with its attributes, refusals and
--keep-registry leaving it alone, and a failure at each step of the swap
leaving SYSTEM.DAT old or new.

Usage: TAMRIX=path/to/tamrix python3 test_offline_registry.py
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import system_dat  # noqa: E402
from system_dat import Shape  # noqa: E402
from tamrix_fixtures import (COMPLETED, MACHINE_INF, MACHINE_INF_INSTALLED,  # noqa: E402
                             OFFLINE_NOTE, RESTART, USB_INF, USB_INF_INSTALLED, WindowsFolder,
                             finish_lines, run_cli)
from image_fixtures import Image  # noqa: E402
from registry_fixtures import (DEVICES, TEN, cregexport, machine_keys, real_file,  # noqa: E402
                               within)
from terminal_fixtures import DialogCase, Terminal, read_box  # noqa: E402

BOTH = {"MACHINE.INF": MACHINE_INF, "USB.INF": USB_INF}
INSTALL = ["install", "--platform-kind", "1", "--no"]
DA0 = b"Windows' own backup, never touched"


def removed(count, where):
    devices = ("The ten devices were" if count == 10 else
               "%d of the ten devices %s" % (count, "was" if count == 1 else "were"))
    return ("Finish: %s removed from the registry of %s (the previous one is SYSTEM.TX0): "
            "Windows detects them anew at its next start." % (devices, where))


def held(count):
    return "SYSTEM.DAT: holds %d of the ten device keys" % count


def windows_files(folder):
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

    def test_exit_on_a_folder(self):
        full = system_dat.build(machine_keys(DEVICES, lower=True), Shape("98", 30, True))
        four = system_dat.build(machine_keys(DEVICES[3:7]), Shape("95", 40, False))
        none = system_dat.build(machine_keys([]), Shape("95", 40, True))
        one = system_dat.build(machine_keys(DEVICES[2:3]), Shape("95", 40, True))
        # The PCI keys as Windows 98 and Me name them (the real ME file's).
        win98 = system_dat.build(machine_keys([d + "&SUBSYS_00000000&REV_08" for d in DEVICES]),
                                 Shape("98", 30, True))
        as_win98 = AS_WIN98
        damaged = full[:-100] + b"\xAA" + full[-99:]  # the last block's checksum is wrong
        note = "Finish: The registry of {win} was left as it was: SYSTEM.DAT "
        rows = [
            # what, SYSTEM.DAT, other files, options, Exit's lines, keys held before
            ("ten", full, {}, [], [RESTART, removed(10, "{win}")], 10),
            ("four, and an older backup", four, {"SYSTEM.TX0": b"older"}, [],
             [RESTART, removed(4, "{win}")], 4),
            ("none", none, {}, [],
             [RESTART, "Finish: None of the ten devices is in the registry of {win}: it "
              "was left as it was."], 0),
            ("one", one, {}, [], [RESTART, removed(1, "{win}")], 1),
            ("named the Windows 98 way", win98, {}, [],
             [RESTART, "Finish: None of the ten devices is in the registry of {win}%s: "
              "it was left as it was." % as_win98], held(0) + as_win98),
            ("--keep-registry", full, {}, ["--keep-registry"], finish_lines(), 10),
            ("a wrong checksum", damaged, {}, [],
             [note + "has a wrong checksum in data block (RGDB) %d." % (len(system_dat.blocks(
                 full)) - 1)] + finish_lines(), None),
        ]
        for what, registry, extra, options, lines, keys in rows:
            with self.subTest(what):
                folder = self.folder(registry, extra)
                before = windows_files(folder)
                status = run_cli(["status", "--windows-dir", folder.windows])[1][-1]
                self.assertEqual(status, keys if isinstance(keys, str) else
                                 held(keys) if keys is not None else
                                 "SYSTEM.DAT: not read as a registry: SYSTEM.DAT has a wrong "
                                 "checksum in data block (RGDB) %d" % (
                                     len(system_dat.blocks(full)) - 1))
                got = run_cli(INSTALL + options + ["--windows-dir", folder.windows])
                self.assertEqual(got, (0, [COMPLETED] + [line.replace("{win}", folder.windows)
                                                         for line in lines], []))
                after = windows_files(folder)
                if lines[-1].startswith(("Finish: The ten", "Finish: 4", "Finish: 1 ")):
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
                 "SYSTEM.TX0, the backup of SYSTEM.DAT, could not be written")]:
            with self.subTest(what):
                folder = self.folder(registry, extra)
                before = windows_files(folder)
                got = run_cli(INSTALL + ["--windows-dir", folder.windows])
                self.assertEqual(got, (0, [COMPLETED, RESTART], [
                    "Finish: The devices could not be removed from the registry of %s: %s.  It "
                    "was left as it was. / At its next start, remove these devices in "
                    "Device Manager, then restart it: /     %s" % (folder.windows, why, devices)]))
                self.assertEqual(windows_files(folder), before)


class CutOff(unittest.TestCase):
    """Install killed (SIGKILL) before each rename of its swaps, in a folder
    (file_calls_shim.cpp: rename and link) and in a disk image (a fake
    mren first on PATH); then status, then Install again, must each find
    SYSTEM.DAT and both INF files in place, old or new, and say what they put
    back.  The first row, with no kill, records the vfat attribute calls:
    the new SYSTEM.DAT and its backup get SYSTEM.DAT's hidden, system and
    read-only attributes."""

    OLD = system_dat.build(machine_keys(DEVICES[:3]), Shape("95", 40, True))
    FILES = {"MACHINE.INF": (MACHINE_INF, MACHINE_INF_INSTALLED),
             "USB.INF": (USB_INF, USB_INF_INSTALLED)}

    def folder(self):
        folder = WindowsFolder(BOTH, inf_name="INF")
        self.addCleanup(folder.close)
        with open(os.path.join(folder.windows, "SYSTEM.DAT"), "wb") as f:
            f.write(self.OLD)

        def names(path):
            found = {}
            for name in os.listdir(path):
                if os.path.isfile(os.path.join(path, name)):
                    with open(os.path.join(path, name), "rb") as f:
                        found[name] = f.read()
            return found
        log = os.path.join(folder.root, "log")
        # Under AddressSanitizer the shim comes before its runtime; the
        # runtime's check of that order is off, its interceptors still work.
        env = {"LD_PRELOAD": os.environ["FILE_CALLS_SHIM"], "TAMRIX_SHIM_LOG": log,
               "TAMRIX_SHIM_ATTRIBUTES": "0x27",
               "ASAN_OPTIONS": ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                                      "verify_asan_link_order=0"]))}
        return (["--windows-dir", folder.windows], env, log,
                lambda: (names(folder.windows), names(folder.inf)), lambda stop: {
                    "TAMRIX_SHIM_STOP_AT": str(stop)})

    def image(self):
        image = Image(inf=BOTH, others={"WINDOWS/WIN.COM": b"x", "WINDOWS/SYSTEM.DAT": self.OLD})
        self.addCleanup(image.close)
        image.mtools("mattrib", "+r", "+s", "+h", "::/WINDOWS/SYSTEM.DAT")
        bin_dir, log = os.path.join(image.root, "bin"), os.path.join(image.root, "log")
        os.mkdir(bin_dir)
        with open(os.path.join(bin_dir, "mren"), "w") as f:
            f.write('#!/bin/sh\n[ -n "$MREN_FAILS" ] && exit 1\necho "rename $*" >> %s\n'
                    '[ "$(wc -l < %s)" = "$MREN_STOP_AT" ] && kill -KILL $PPID && exit 1\n'
                    'exec %s "$@"\n' % (log, log, shutil.which("mren")))
        os.chmod(os.path.join(bin_dir, "mren"), 0o755)
        plain = lambda folder: {n: d for n, d in image.folder(folder).items()  # noqa: E731
                                if isinstance(d, bytes)}
        return (["--image", image.path], {"PATH": bin_dir + ":" + os.environ["PATH"]}, log,
                lambda: (plain("WINDOWS"), plain("WINDOWS/INF")),
                lambda stop: {"MREN_STOP_AT": str(stop)}), image

    def check_in_place(self, files, new):
        windows, inf = files
        self.assertIn(windows.get("SYSTEM.DAT"), (self.OLD, new))
        for name, texts in self.FILES.items():
            self.assertIn(inf.get(name), texts)

    def test_killed_at_each_rename(self):
        new = None
        for place in ("folder", "image"):
            made = self.folder() if place == "folder" else self.image()[0]
            where, env, log, files, _ = made
            got = run_cli(INSTALL + where, env_extra=env)
            self.assertEqual(got[0], 0, got)
            with open(log) as f:
                calls = [line for line in f.read().splitlines() if line.startswith("rename")]
            if os.environ.get("SHOW_STEPS"):
                print(place, calls)
            new = files()[0]["SYSTEM.DAT"]
            if place == "folder":
                with open(log) as f:
                    self.assertEqual([line for line in f.read().splitlines() if line.startswith(
                        "set SYSTEM")], ["set SYSTEM.TX1 0x27", "set SYSTEM.TX0 0x27"])
            for step in range(1, len(calls) + 1):
                for first in ("status", "install"):
                    with self.subTest(place=place, step=step, first=first):
                        made = self.folder() if place == "folder" else self.image()
                        where, env, log, files, stop = made if place == "folder" else made[0]
                        run_cli(INSTALL + where, env_extra=dict(env, **stop(step)))
                        windows, inf = files()
                        if place == "folder":  # one rename over it: never missing
                            self.assertIn("SYSTEM.DAT", windows)
                        missing = [n for n in ["SYSTEM.DAT"] if n not in windows] + [
                            n for n in self.FILES if n not in inf]
                        command = ["status"] if first == "status" else INSTALL
                        lines = run_cli(command + where)[1]
                        said = [line for line in lines if line.startswith("Put back: ")]
                        self.assertEqual(len(said), len(missing), lines)
                        for name, line in zip(missing, said):
                            self.assertIn(name + " was missing after a run that was cut off", line)
                            if name == "SYSTEM.DAT":
                                self.assertIn("SYSTEM.TX1, the new file" if windows.get(
                                    "SYSTEM.TX1") == new else "SYSTEM.TX0", line)
                                self.assertTrue(line.endswith(", still hidden, system, "
                                                              "read-only."), line)
                        self.check_in_place(files(), new)
                        got = run_cli(INSTALL + where)
                        self.assertEqual(got[0], 0, got)
                        self.assertFalse([line for line in got[1] if "Put back" in line])
                        self.assertEqual(files()[0]["SYSTEM.DAT"], new)
                        self.check_in_place(files(), new)
                        if place == "image":
                            self.assertEqual(made[1].mtools("mattrib", "::/WINDOWS/SYSTEM.DAT")
                                             .decode().split("::")[0].split(), ["A", "SHR"])
                            self.assertEqual(made[1].fsck(), "")


    def test_the_written_registry_only_where_it_proves(self):
        where, _, _, files, _ = self.folder()
        run_cli(INSTALL + where)
        new = files()[0]["SYSTEM.DAT"]
        damaged = new[:-100] + b"\xAA" + new[-99:]  # the last block's checksum is wrong
        other = system_dat.build(machine_keys(DEVICES[:2]), Shape("95", 40, True))
        for what, written, put_back in [("the new one", new, new), ("damaged", damaged, self.OLD),
                                        ("other keys gone", other, self.OLD)]:
            with self.subTest(what):
                (where, _, _, files, _), image = self.image()
                image.mtools("mren", "::/WINDOWS/SYSTEM.DAT", "::/WINDOWS/SYSTEM.TX0")
                image.put("WINDOWS/SYSTEM.TX1", written)
                lines = run_cli(["status"] + where)[1]
                self.assertIn("SYSTEM.%s" % ("TX1" if put_back == new else "TX0"),
                              [line for line in lines if line.startswith("Put back: ")][0])
                self.assertEqual(files()[0]["SYSTEM.DAT"], put_back)


    def test_status_where_nothing_can_be_put_back(self):
        (where, env, _, files, _), image = self.image()
        image.mtools("mren", "::/WINDOWS/SYSTEM.DAT", "::/WINDOWS/SYSTEM.TX0")
        image.put("WINDOWS/SYSTEM.TX1", self.OLD)
        image.mtools("mren", "::/WINDOWS/INF/MACHINE.INF", "::/WINDOWS/INF/MACHINE.IN@")
        before = files()
        got = run_cli(["status"] + where, env_extra=dict(env, MREN_FAILS="1"))
        cut_off = "%s is missing after a run that was cut off, and %s, which holds the old file, " \
                  "could not be given its name back."
        self.assertEqual(got, (1, [
            "Windows in the image: unknown (no SYSTEM.DAT in its Windows folder): platform kind 0",
            "INF/MACHINE.INF: missing (a run that was cut off left its old text in MACHINE.IN@)",
            "INF/USB.INF: not installed",
            "SYSTEM.DAT: missing (a run that was cut off left the old registry in SYSTEM.TX0)"], [
            "Tamrix: " + cut_off % (image.path + ":/WINDOWS/INF/MACHINE.INF", "MACHINE.IN@"),
            "Tamrix: " + cut_off % (image.path + ":/WINDOWS/SYSTEM.DAT", "SYSTEM.TX0")]))
        self.assertEqual(files(), before)


class InTheDialog(DialogCase):
    def test_install_then_exit(self):
        # The last box answered, or Ctrl-C on it: the backup stays either
        # way, and the stop line names SYSTEM.DAT among the files changed.
        registry = system_dat.build(machine_keys(DEVICES), Shape("95", 40, True))
        for key, status in (("Enter", 0), ("C-c", 130)):
            with self.subTest(key):
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
                term.keys("Enter")
                box = term.wait_for(lambda s: (lambda b: b if b and len(b["lines"]) > 1 else None)(
                    read_box(s, "Finish")), "registry box")
                self.assertIn("The ten devices were removed", " ".join(box["lines"]))
                term.keys(key)
                self.assertEqual(term.wait_for_exit(), status)
                windows = self.folder.windows
                self.assertEqual(term.transcript(), [RESTART, removed(10, windows)] if not status
                                 else [RESTART, "Tamrix: Stopped by SIGINT; changed before it: " +
                                       ", ".join(windows + name for name in (
                                           "/inf/MACHINE.INF", "/inf/USB.INF", "/SYSTEM.DAT",
                                           "/SYSTEM.TX0")) + "; every other file is as it was."])
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


ME_PCI = "Enum\\PCI\\VEN_8086&DEV_%s&SUBSYS_00000000&REV_%s"
NOT_THE_MACHINES = "SYSTEM.DAT has no key Enum: it is a registry file, but not the machine's"
# (what, file, keys renamed in place: path -> new name, the trees Install
# removes; None: the file is refused)
WRITTEN_BY_WINDOWS = [
    ("Windows ME's SYSTEM.DAT", "winme_SYSTEM.DAT", {}, []),
    ("three of its PCI keys renamed", "winme_SYSTEM.DAT",
     {ME_PCI % ("7113", "08"): "VEN_8086&DEV_7113", ME_PCI % ("7000", "00"): "VEN_8086&DEV_7110",
      ME_PCI % ("7111", "01"): "VEN_8086&DEV_7112"}, [TEN[2], TEN[0], TEN[5]]),
    ("USER.DAT under the name SYSTEM.DAT", "winme_USER.DAT", {}, None),
]


# What status and Exit add where Enum\PCI names its keys as Windows 98 and Me do.
AS_WIN98 = (" (it names its PCI devices as Windows 98 and Me do, "
            "VEN_xxxx&DEV_xxxx&SUBSYS_xxxxxxxx&REV_xx, not as Windows 95 does)")


class WrittenByWindows(unittest.TestCase):
    """SYSTEM.DAT as Windows ME wrote it, and variants with device keys
    renamed in place to names of the ten, in a folder and in a FAT16 image."""

    def places(self, registry):
        """Each place: (what, the options that name it, how messages name it,
        a function giving its Windows folder's files, the image or None)."""
        folder = WindowsFolder(BOTH, inf_name="INF")
        self.addCleanup(folder.close)
        with open(os.path.join(folder.windows, "SYSTEM.DAT"), "wb") as f:
            f.write(registry)
        image = Image("FAT16 partition at sector 63", inf=BOTH,
                      others={"WINDOWS/WIN.COM": b"x", "WINDOWS/SYSTEM.DAT": registry})
        self.addCleanup(image.close)
        return [("a folder", ["--windows-dir", folder.windows], folder.windows,
                 lambda: windows_files(folder), None),
                ("a FAT16 image", ["--image", image.path], image.path + ":/WINDOWS",
                 lambda: {n: d for n, d in image.folder("WINDOWS").items() if n != "INF"}, image)]

    def listing(self, data):
        with tempfile.NamedTemporaryFile() as f:
            f.write(data)
            f.flush()
            return cregexport(f.name)

    def test_status_and_install(self):
        for what, name, renames, gone in WRITTEN_BY_WINDOWS:
            registry = real_file(name)
            for path, new_name in renames.items():
                registry = system_dat.renamed(registry, path, new_name)
            for where, options, shown, files, image in self.places(registry):
                with self.subTest(what, where=where):
                    before = files()
                    status = run_cli(["status"] + options)[1][-1]
                    install = run_cli(INSTALL + options)
                    after = files()
                    self.assertEqual(install[0], 0)
                    if gone is None:
                        self.assertIn(NOT_THE_MACHINES, status)
                        self.assertTrue(any(NOT_THE_MACHINES in line for line in install[1]))
                    else:
                        self.assertEqual(status, held(len(gone)) + ("" if gone else AS_WIN98))
                        self.assertEqual(install[1][-1], removed(len(gone), shown) if gone else
                                         "Finish: None of the ten devices is in the registry of "
                                         "%s%s: it was left as it was." % (shown, AS_WIN98))
                    if gone:
                        self.assertEqual(after, dict(before, **{"SYSTEM.DAT": after["SYSTEM.DAT"],
                                                                "SYSTEM.TX0": registry}))
                        self.assertEqual(len(after["SYSTEM.DAT"]), len(registry))
                        self.assertEqual(self.listing(after["SYSTEM.DAT"]), [
                            key for key in self.listing(registry) if not within(key[0], gone)])
                    else:
                        self.assertEqual(after, before)
                    if image:
                        for kept in ("SYSTEM.DAT", "SYSTEM.TX0") if gone else ("SYSTEM.DAT",):
                            self.assertEqual(image.mtools("mattrib", "::/WINDOWS/" + kept)
                                             .decode().split("::")[0].split(), ["A", "SHR"])
                        self.assertEqual(image.fsck(), "")


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
