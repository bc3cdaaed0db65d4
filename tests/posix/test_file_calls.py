"""The promises of a run, proved once for every place a Windows folder can
be: a Linux folder, a raw disk image, a fixed VHD, a qcow2, and a real disk
(a loop device over a raw image: the whole disk, or its partition alone)
(PLACES).

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
import fcntl
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import system_dat  # noqa: E402
from image_fixtures import (DIR, Image, loop_device, mount_read_only, nothing_left,  # noqa: E402
                            tool, whole_file_lock)
from registry_fixtures import DEVICES, machine_keys  # noqa: E402
from system_dat import Shape  # noqa: E402
from tamrix_fixtures import (MACHINE_INF, MACHINE_INF_INSTALLED, USB_INF,  # noqa: E402
                             USB_INF_INSTALLED, WindowsFolder, run_cli, tamrix_program)
from terminal_fixtures import Terminal, read_box  # noqa: E402
from test_images import killed_during  # noqa: E402

REGISTRY = system_dat.build(machine_keys(DEVICES[:2]), Shape("95", 40, True))
OLD = {"INF/MACHINE.INF": MACHINE_INF, "INF/USB.INF": USB_INF, "SYSTEM.DAT": REGISTRY}
INSTALLED = {"INF/MACHINE.INF": MACHINE_INF_INSTALLED, "INF/USB.INF": USB_INF_INSTALLED}
# A machine.inf whose first part is longer than the program's input buffer:
# the system copies it into the new file (copy_file_range), a write counted.
PADDING = b"".join(b"; line %d of a comment longer than a read buffer\r\n" % n for n in range(1500))
LONG = ({**OLD, "INF/MACHINE.INF": PADDING + MACHINE_INF},
        {**INSTALLED, "INF/MACHINE.INF": PADDING + MACHINE_INF_INSTALLED})
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


class WholeDisk(RawImage):
    """A real disk: a loop device over a partitioned raw image, attached
    when first named (after a test has made the image's folder read-only,
    so that the device is read-only too); skipped where none can be made."""

    layout = "FAT16 partition at sector 63"
    part = ()

    @property
    def where(self):
        if not self.device:
            self.device = loop_device(self, self.image.path, *self.part)
        return ["--image", self.device]

    @where.setter
    def where(self, _):
        self.device = None

    def skipTest(self, reason):  # as a test's, for loop_device
        raise unittest.SkipTest(reason)

    def addCleanup(self, detach, *args, **kwargs):
        self.detach = lambda: detach(*args, **kwargs)

    def close(self):
        getattr(self, "detach", lambda: None)()
        RawImage.close(self)


class Partition(WholeDisk):
    """The image's partition alone as a loop device."""

    @property
    def part(self):
        return (self.image.offset, os.path.getsize(self.image.path) - self.image.offset)


PLACES = [("folder", Folder), ("raw image", RawImage), ("fixed VHD", FixedVhd),
          ("qcow2", Qcow2), ("whole disk", WholeDisk), ("partition", Partition)]


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


def on(place, env, *args):
    """A run as a user types it, its scratch folders in env's."""
    return run_cli(list(args) + ["--platform-kind", "1"] + place.where, env_extra=env)


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
        clean, texts, first, counted, installed = expected
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
                for name, text in installed.items():
                    line = [line for line in status[1] if line.upper().startswith(name + ":")][0]
                    self.assertEqual(line.split(": ")[1].startswith("installed"),
                                     files[name] == text, status)
            again = run(place, command)
            self.assertEqual(again[0], 0, again)
            self.assertEqual(place.files(), clean)
            self.assertEqual(place.clean(), "")
        finally:
            place.close()

    def every_moment(self, make, command, kinds, how, texts=(OLD, INSTALLED)):
        """The run disturbed at each of its moments in turn, two at a time;
        each moment's failure is told in turn.  `texts`: the files before
        an Install, and after it."""
        start = texts[0] if command == "install" else self.installed(make, texts[0])
        place = make(start)
        self.addCleanup(place.close)
        log = os.path.join(place.root, "calls")
        kinds = kinds or make.every
        counted = run(place, command, shim(place, log, kinds=kinds))
        self.assertEqual(counted[0], 0, counted)
        clean = place.files()
        with open(log) as f:
            moments = len(f.read().splitlines())
        expected = (clean, {name: (start[name], clean[name]) for name in OLD}, place, counted,
                    texts[1])
        runs = [self.pool.submit(self.moment, make, start, command, kinds, how, moment, expected)
                for moment in range(1, moments + 1)]
        for moment, done in enumerate(runs, 1):
            with self.subTest(moment=moment, of=moments):
                done.result()

    def installed(self, make, old=OLD):
        place = make(old)
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

    def scratch(self):
        """The environment of a run whose scratch folders are seen: (env, folder)."""
        folder = tempfile.mkdtemp(prefix="tamrix-scratch-")
        self.addCleanup(shutil.rmtree, folder, True)
        return {"TMPDIR": folder, "XDG_RUNTIME_DIR": folder}, folder

    def status_exits_1(self, make):
        """A swap cut off between its renames: put back where status may
        write (3: nothing installed), else reported missing (1)."""
        for cut_off in ("INF/MACHINE.INF", "SYSTEM.DAT"):
            files = dict(OLD, **{BACKUPS[cut_off]: OLD[cut_off]})
            del files[cut_off]
            place, (env, scratch) = make(files), self.scratch()
            self.addCleanup(place.close)
            status, out, _ = on(place, env, "status")
            missing = [line for line in out if ": missing" in line]
            self.assertEqual((status, len(missing)), (1, 1) if make is Qcow2 else (3, 0), out)
            nothing_left(self, scratch)

    def dry_run_read_only(self, make):
        """Said alike on every path, changing nothing; another program's
        lock on all of an image is met."""
        place, (env, scratch) = make(OLD), self.scratch()
        self.addCleanup(place.close)
        mount_read_only(self, place.root)  # a loop device over it is read-only
        self.addCleanup(lambda: getattr(place, "detach", lambda: None)())
        got = on(place, env, "install", "--dry-run")
        self.assertEqual(got[0], 0, got)
        said = repr(got).replace("/inf/", "/INF/")  # as the folder's listing names it
        self.assertEqual(said, self.__dict__.setdefault("dry_run_said", said))
        nothing_left(self, scratch)
        if make is not Folder:
            self.addCleanup(os.close, whole_file_lock(place.where[1], fcntl.F_RDLCK))
            got = on(place, env, "install", "--dry-run")
            self.assertEqual((got[0], got[1]), (4, []))
            self.assertIn("in use by another program", got[2][0])

    def dialog_holds_the_lock(self, make):
        place, (env, scratch) = make(OLD), self.scratch()
        self.addCleanup(place.close)
        where = ["--platform-kind", "1"] + place.where

        def dialog(held_elsewhere=False):
            term = Terminal(where, wrapper=["env", *("%s=%s" % n for n in env.items())])
            self.addCleanup(term.close)
            # Told what a device is, once it is held; Enter says Yes.
            if where[-1].startswith("/dev/") and not held_elsewhere:
                box = term.wait_for(lambda s: read_box(s, "Tamrix"), "Tamrix box")
                self.assertIn("Change the files of \\WINDOWS on %s?" % where[-1],
                              " ".join(box["lines"]))
                term.keys("Enter")
                term.wait_for(lambda s: "Change the files" not in "".join(s), "the question gone")
            return term
        term = dialog()
        term.wait_for_text("< Install >")
        self.assertEqual(on(place, env, "install", "--yes"), (4, [], [
            "Tamrix: Another Tamrix is changing %s right now; nothing was changed.  "
            "Try again when it has finished." % where[-1]]))
        term.close()
        # Another program's lock: the dialog says so, and ends.
        self.addCleanup(os.close, whole_file_lock(where[-1], fcntl.F_WRLCK))
        term = dialog(held_elsewhere=True)
        box = term.wait_for(lambda s: read_box(s, "Tamrix"), "Tamrix box")
        self.assertIn("is in use by another program", " ".join(box["lines"]))
        term.keys("Enter")
        self.assertEqual(term.wait_for_exit(), 4)
        term.close()
        self.assertEqual(os.listdir(scratch), [])

    def next_run_sweeps(self, make):
        """A dry run killed while diff runs, and the folders of runs long
        gone; status, the run that changes least, removes them."""
        place, (env, scratch) = make(OLD), self.scratch()
        self.addCleanup(place.close)
        ended = subprocess.Popen(["true"])
        ended.wait()
        for purpose in ("preview", "export"):
            left = os.path.join(scratch, "tamrix-%s.%d" % (purpose, ended.pid))
            os.mkdir(left)
            with open(os.path.join(left, "machine.inf"), "wb") as f:
                f.write(MACHINE_INF)
        os.kill(killed_during(self, [tamrix_program(), "install", "--dry-run", "--platform-kind",
                                     "1"] + place.where, env, "diff", "exec sleep 3"),
                signal.SIGKILL)
        self.assertEqual(on(place, env, "status")[0], 3)
        nothing_left(self, scratch)

    def test_promises(self):
        self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=2)
        self.addCleanup(self.pool.shutdown)
        only = os.environ.get("TAMRIX_PROMISE", "")  # a part of the rows' names, to run those
        for what, places, check in PROMISES:
            for place_name, make in PLACES:
                if place_name in places and only in what:
                    with self.subTest(what, place=place_name):
                        check(self, make)


def every_moment(command, kinds, how, texts=(OLD, INSTALLED)):
    return lambda test, make: test.every_moment(make, command, kinds, how, texts)


# (the promise, the places it is proved in, its check).  A row of moments
# disturbs the calls of `kinds` ("": every one) by "kill" (SIGKILL), "TERM"
# (SIGTERM, which the run acts on) or the error each call fails with once.
# A device asks before it is changed, which --no answers: ALL are the
# places a run changes unasked.
EVERY_PATH = tuple(name for name, _ in PLACES)
ALL = EVERY_PATH[:4]
PROMISES = [
    ("status exits 1 for every file it reports missing", EVERY_PATH, Promises.status_exits_1),
    ("A dry run on a read-only mount", EVERY_PATH, Promises.dry_run_read_only),
    ("The dialog holds the image for as long as it is open", EVERY_PATH[1:],
     Promises.dialog_holds_the_lock),
    ("The next run removes what a killed one left", EVERY_PATH, Promises.next_run_sweeps),
    ("INF files keep their attributes, mode and owner", ALL, Promises.attributes_kept),
    ("A folder that cannot be read is no folder without the file", ("folder", "raw image"),
     Promises.unreadable_folder),
    ("Install killed at each call", ("folder", "raw image"),
     every_moment("install", "", "kill")),
    ("Install of a machine.inf longer than a read buffer, killed at each call", ("folder",),
     every_moment("install", "", "kill", LONG)),
    ("Install of a machine.inf longer than a read buffer, each write failing (ENOSPC)",
     ("folder",), every_moment("install", "write", "ENOSPC", LONG)),
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
