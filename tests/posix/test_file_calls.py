"""The promises of a run, proved once for every place a Windows folder can
be: a Linux folder, a raw disk image, a fixed VHD and a qcow2 (PLACES).

PROMISES is the one table: a row names a promise, the places it is
proved in, and the check that proves it there.  Most rows disturb a run at
every one of its moments: an Install or an Uninstall is run once to count
its file calls (file_calls_shim.cpp: the opens, writes, fsyncs, closes,
links, unlinks and renames under the test's folder, and in an image each
child started), then run again killed (SIGKILL) at each one in turn, as a
crash or a power cut would stop it there; stopped by SIGTERM there; or
with that call failing once (EIO, ENOSPC, EACCES), as a full or failing
disk would make it.  After each disturbed run:
  - every file holds its old or its new text, or is missing with its
    backup there (the state between a swap's renames);
  - a run that failed said so, unless it made the same files as a clean
    one (a look that failed once and was made again); nothing unfinished
    is left (SYSTEM.TX1, or out.inf after a signal), and a stop line names
    exactly the files that differ from before the run;
  - after a crash, `status` says truthfully which (and puts a cut-off swap
    back);
  - the same command once more gives exactly the files a clean run gives,
    and leaves nothing else in the folder, the volume clean.

To add a promise: write its check, a function of the test and a place's
class, and add a row; to add a place: a class in PLACES that lays out the
files with their attributes, reads both back and checks its volume.  (An
image's failing tools are test_images.py's and test_offline_registry.py's.)

Usage: TAMRIX=path/to/tamrix FILE_CALLS_SHIM=path/to/shim.so python3 test_file_calls.py
(TAMRIX_PROMISE=TEXT: only the rows whose promise holds TEXT)
"""

import concurrent.futures
import os
import shutil
import stat
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import system_dat  # noqa: E402
from image_fixtures import DIR, Image, tool  # noqa: E402
from registry_fixtures import DEVICES, machine_keys  # noqa: E402
from system_dat import Shape  # noqa: E402
from tamrix_fixtures import (MACHINE_INF, MACHINE_INF_INSTALLED, USB_INF,  # noqa: E402
                             USB_INF_INSTALLED, WindowsFolder, run_cli)

REGISTRY = system_dat.build(machine_keys(DEVICES[:2]), Shape("95", 40, True))
OLD = {"INF/MACHINE.INF": MACHINE_INF, "INF/USB.INF": USB_INF, "SYSTEM.DAT": REGISTRY}
INSTALLED = {"INF/MACHINE.INF": MACHINE_INF_INSTALLED, "INF/USB.INF": USB_INF_INSTALLED}
BACKUPS = {"INF/MACHINE.INF": "INF/MACHINE.IN@", "INF/USB.INF": "INF/USB.IN@",
           "SYSTEM.DAT": "SYSTEM.TX0"}

# The attributes a row may give the INF files: DOS letters in an image; in a
# folder, the mode (and for "rsh" an owner of another) that stands for them.
READ_ONLY = {"INF/MACHINE.INF": "r", "INF/USB.INF": "rsh"}
FOLDER_MODES = {"r": 0o444, "rsh": 0o400}
OTHER_OWNER = 4321


class Folder:
    """The Windows folder on a Linux file system."""

    every = ""

    def __init__(self, files, attributes=None):
        # The names as an old copy may have them: not as the program writes
        # them (inf\usb.inf), so that each is found by its folder's listing.
        self.folder = WindowsFolder({}, inf_name="inf")
        self.root, self.where = self.folder.root, ["--windows-dir", self.folder.windows]
        for name, data in files.items():
            with open(self.path(name), "wb") as f:
                f.write(data)
        for name, letters in (attributes or {}).items():
            os.chmod(self.path(name), FOLDER_MODES[letters])
            if letters == "rsh":
                os.chown(self.path(name), OTHER_OWNER, OTHER_OWNER)

    def path(self, name):
        return os.path.join(self.folder.windows, name.replace("INF/", "inf/"))

    def unreadable_inf(self):
        """The environment of a run that cannot open the INF folder."""
        return dict(shim(self, os.devnull),
                    TAMRIX_SHIM_UNREADABLE=os.path.join(self.folder.windows, "inf"))

    def files(self):
        found = {}
        for folder in ("", "inf"):
            for name in os.listdir(os.path.join(self.folder.windows, folder)):
                path, shown = os.path.join(self.folder.windows, folder, name), \
                    os.path.join(folder.upper(), name)
                if name == "inf":
                    continue
                if not os.path.isfile(path):
                    found[shown] = DIR
                    continue
                with open(path, "rb") as f:
                    found[shown] = f.read()
        return found

    def attributes(self):
        return {name: (oct(stat.S_IMODE(os.stat(self.path(name)).st_mode)),
                       os.stat(self.path(name)).st_uid) for name in READ_ONLY}

    def clean(self):
        return ""

    def close(self):
        self.folder.close()


class RawImage:
    """The Windows folder in a FAT12 floppy image, through mtools.  Its
    moments are the program's writes and fsyncs and each tool started: the
    image changes at no other call."""

    every = "fork,fsync,write"
    layout = "FAT12 floppy"

    def __init__(self, files, attributes=None):
        self.image = Image(self.layout, inf={}, others=dict({"WINDOWS/WIN.COM": b"x"}, **{
            "WINDOWS/" + name: data for name, data in files.items()}))
        self.root, self.where = self.image.root, ["--image", self.image.path]
        for name, letters in (attributes or {}).items():
            self.image.mtools("mattrib", *["+" + letter for letter in letters],
                              "::/WINDOWS/" + name)

    def read_back(self):
        """The raw disk as the image holds it now (a format's: converted)."""

    def unreadable_inf(self):
        """The environment of a run whose listings of the INF folder fail:
        an mdir that exits 1, as on a read error."""
        bin_dir, count = os.path.join(self.root, "bin"), os.path.join(self.root, "listed")
        os.makedirs(bin_dir, exist_ok=True)
        with open(os.path.join(bin_dir, "mdir"), "w") as f:
            f.write('#!/bin/sh\ncase "$*" in *[Ii][Nn][Ff]/)\n  echo >> %s\n'
                    '  [ "$(wc -l < %s)" -gt 0 ] && exit 1;;\nesac\nexec %s "$@"\n'
                    % (count, count, shutil.which("mdir")))
        os.chmod(os.path.join(bin_dir, "mdir"), 0o755)
        return {"PATH": bin_dir + ":" + os.environ["PATH"]}

    def files(self):
        """Every entry of WINDOWS and WINDOWS/INF, copied out in one go."""
        self.read_back()
        copy = os.path.join(self.root, "copy")
        shutil.rmtree(copy, ignore_errors=True)
        self.image.mtools("mcopy", "-s", "-n", "::/WINDOWS", copy)
        found = {}
        for folder in ("", "INF"):
            for name in os.listdir(os.path.join(copy, folder)):
                path = os.path.join(copy, folder, name)
                if name in ("INF", "WIN.COM"):
                    continue
                if os.path.isdir(path):
                    found[os.path.join(folder, name)] = DIR
                    continue
                with open(path, "rb") as f:
                    found[os.path.join(folder, name)] = f.read()
        return found

    def attributes(self):
        self.read_back()
        return {name: self.image.mtools("mattrib", "::/WINDOWS/" + name).decode().split("::")[0]
                .split() for name in READ_ONLY}

    def clean(self):
        self.read_back()
        return self.image.fsck()

    def close(self):
        self.image.close()


class FixedVhd(RawImage):
    """A FAT32 partition on a fixed VHD: a raw disk with a footer."""

    layout = "FAT32 partition at 1 MiB, fixed VHD"


class Qcow2(RawImage):
    """A qcow2, changed through QEMU's export: made from a raw image, and
    read back by converting it to one again."""

    def __init__(self, files, attributes=None):
        RawImage.__init__(self, files, attributes)
        self.qcow2 = os.path.join(self.root, "win95.qcow2")
        tool("qemu-img", "convert", "-f", "raw", "-O", "qcow2", self.image.path, self.qcow2)
        self.where = ["--image", self.qcow2]

    def read_back(self):
        tool("qemu-img", "convert", "-f", "qcow2", "-O", "raw", self.qcow2, self.image.path)

    def clean(self):
        checked = subprocess.run(["qemu-img", "check", "-q", self.qcow2], capture_output=True)
        return checked.stdout.decode() + checked.stderr.decode() + RawImage.clean(self)


PLACES = [("folder", Folder), ("raw image", RawImage), ("fixed VHD", FixedVhd),
          ("qcow2", Qcow2)]


def shim(place, log, **settings):
    tmp = os.path.join(place.root, "tmp")
    os.makedirs(tmp, exist_ok=True)
    env = {"LD_PRELOAD": os.environ["FILE_CALLS_SHIM"], "TAMRIX_SHIM_UNDER": place.root,
           "TAMRIX_SHIM_CALLS": log, "TMPDIR": tmp,
           "ASAN_OPTIONS": ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                                  "verify_asan_link_order=0"]))}
    env.update({"TAMRIX_SHIM_" + name.upper(): str(value) for name, value in settings.items()})
    return env


def said(place, got):
    """A run's status and lines, wherever its place was made."""
    return repr(got).replace(place.root, "{root}")


def run(place, command, env=None, options=()):
    args = [command, "--platform-kind", "1", "--no"] if command != "status" else ["status"]
    return run_cli(args + list(options) + place.where, env_extra=env)


def named_in(line):
    """The files a stop line names as changed, as files() names them."""
    if "changed before it: " not in line:
        return []
    names = line.split("changed before it: ")[1].split("; every other file")[0].split(", ")
    return sorted(name.split("WINDOWS/", 1)[1].upper() for name in names)


class Promises(unittest.TestCase):
    def check_state(self, files, texts):
        """Each file old or new, or missing with its backup there."""
        for name, allowed in texts.items():
            if name in files:
                self.assertIn(files[name], allowed, name)
            else:
                self.assertIn(BACKUPS[name], files, name)

    def moment(self, make, start, command, kinds, how, moment, expected):
        """One disturbed run and what follows it; raises what fails."""
        clean, texts, first, counted = expected
        place = make(start)
        try:
            before = place.files()
            disturb = {"kill_at": moment} if how in ("kill", "TERM") else \
                {"fail_at": moment, "errno": how}
            if how == "TERM":
                disturb["signal"] = "TERM"
            got = run(place, command, shim(place, os.devnull, kinds=kinds, **disturb))
            files = place.files()
            if how not in ("kill", "TERM") and said(place, got) == said(first, counted):
                # Told nothing: the failure changed nothing (a look that the
                # run made again).
                self.assertEqual(files, clean, got)
            if files.get("SYSTEM.DAT") not in (None, start["SYSTEM.DAT"]):
                # The new registry never stands without the old one beside it.
                self.assertEqual(files.get("SYSTEM.TX0"), start["SYSTEM.DAT"])
            if how != "kill":
                # Nothing unfinished is left; a stop line names exactly the
                # files that differ from before the run.
                self.assertNotIn("SYSTEM.TX1", files)
            if how == "TERM" and got[0] != 0:
                self.assertNotIn("INF/OUT.INF", files)
                differ = sorted(n for n in set(before) | set(files) if before.get(n) != files.get(n))
                self.assertEqual((got[0], named_in(got[2][-1])), (143, differ), got)
            self.check_state(files, texts)
            if how == "TERM":
                return  # what follows a stopped run is the kills' to prove
            if how == "kill":  # status after a crash; a failure was told already
                status = run(place, "status")
                files = place.files()
                self.check_state(files, texts)
                for name, text in INSTALLED.items():
                    line = [line for line in status[1] if line.upper().startswith(name + ":")][0]
                    self.assertEqual(line.split(": ")[1].startswith("installed"),
                                     files[name] == text, status)
            again = run(place, command)
            self.assertEqual(again[0], 0, again)
            self.assertEqual(place.files(), clean)
            self.assertEqual(place.clean(), "")
        finally:
            place.close()

    def every_moment(self, make, command, kinds, how):
        """The run disturbed at each of its moments in turn, two at a time;
        each moment's failure is told in turn."""
        start = OLD if command == "install" else self.installed(make)
        place = make(start)
        self.addCleanup(place.close)
        log = os.path.join(place.root, "calls")
        kinds = kinds or make.every
        counted = run(place, command, shim(place, log, kinds=kinds))
        self.assertEqual(counted[0], 0, counted)
        clean = place.files()
        with open(log) as f:
            moments = len(f.read().splitlines())
        expected = (clean, {name: (start[name], clean[name]) for name in OLD}, place, counted)
        runs = [self.pool.submit(self.moment, make, start, command, kinds, how, moment, expected)
                for moment in range(1, moments + 1)]
        for moment, done in enumerate(runs, 1):
            with self.subTest(moment=moment, of=moments):
                done.result()

    def installed(self, make):
        place = make(OLD)
        try:
            self.assertEqual(run(place, "install")[0], 0)
            return {name: data for name, data in place.files().items() if name in OLD}
        finally:
            place.close()

    def attributes_kept(self, make):
        place = make(OLD, READ_ONLY)
        self.addCleanup(place.close)
        before = place.attributes()
        for command, texts in (("install", INSTALLED), ("uninstall", OLD)):
            got = run(place, command)
            self.assertEqual(got[0], 0, got)
            files = place.files()
            self.assertEqual({name: files[name] for name in INSTALLED},
                             {name: texts[name] for name in INSTALLED})
            self.assertEqual(place.attributes(), before, command)
            self.assertEqual(place.clean(), "")

    def unreadable_folder(self, make):
        """The INF folder cannot be read while usb.inf is looked up in it
        (the name on disk is USB.INF): the run fails, and no usb.inf is made
        over or beside the one it could not see."""
        before = {"INF/MACHINE.INF": MACHINE_INF, "INF/USB.INF": USB_INF}
        place = make(before)
        self.addCleanup(place.close)
        got = run(place, "install", place.unreadable_inf(), ["--usb", "--windows-dir", "\\WINDOWS"]
                  if make is not Folder else ["--usb"])
        self.assertEqual(got[0], 3, got)
        files = place.files()
        self.assertEqual({name: files.get(name) for name in before}, before)

    def test_promises(self):
        self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=2)
        self.addCleanup(self.pool.shutdown)
        only = os.environ.get("TAMRIX_PROMISE", "")  # a part of the rows' names, to run those
        for what, places, check in PROMISES:
            for place_name, make in PLACES:
                if place_name in places and only in what:
                    with self.subTest(what, place=place_name):
                        check(self, make)


def every_moment(command, kinds, how):
    return lambda test, make: test.every_moment(make, command, kinds, how)


# (the promise, the places it is proved in, its check).  A row of moments
# disturbs the calls of `kinds` ("": every one) by "kill" (SIGKILL), "TERM"
# (SIGTERM, which the run acts on) or the error each call fails with once.
ALL = tuple(name for name, _ in PLACES)
PROMISES = [
    ("INF files keep their attributes, mode and owner", ALL, Promises.attributes_kept),
    ("A folder that cannot be read is no folder without the file", ("folder", "raw image"),
     Promises.unreadable_folder),
    ("Install killed at each call", ("folder", "raw image"),
     every_moment("install", "", "kill")),
    ("Uninstall killed at each call", ("folder",), every_moment("uninstall", "", "kill")),
    ("Install stopped by SIGTERM at each call", ("folder", "raw image"),
     every_moment("install", "", "TERM")),
    ("Install, each write, fsync, rename failing (EIO)", ("folder",),
     every_moment("install", "write,fsync,rename", "EIO")),
    ("Install, each write failing (ENOSPC)", ("folder",),
     every_moment("install", "write", "ENOSPC")),
    ("Install, each open failing (EACCES)", ("folder",),
     every_moment("install", "open", "EACCES")),
    ("Install, each read of a tool's output failing (EIO)", ("raw image",),
     every_moment("install", "pipe", "EIO")),
    ("Uninstall, each write, fsync, rename failing (EIO)", ("folder",),
     every_moment("uninstall", "write,fsync,rename", "EIO")),
]


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
