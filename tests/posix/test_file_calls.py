"""Every moment of a run, one at a time: an Install and an Uninstall are run
once to count their file calls (file_calls_shim.cpp: the opens, writes,
fsyncs, closes, links, unlinks and renames under the test's folder, and in
an image each child started), then run again killed (SIGKILL) at each one in
turn, as a crash or a power cut there would stop them; and again with each
write, fsync and rename failing once (EIO, ENOSPC), as a full or failing
disk would make them.  After each disturbed run:
  - every file holds its old or its new text, or is missing with its
    backup there (the state between a swap's renames);
  - a run that failed said so, unless it made the same files as a clean
    one (a look that failed once and was made again);
  - `status` says truthfully which (and puts a cut-off swap back);
  - the same command once more gives exactly the files a clean run gives,
    and leaves nothing else in the folder, the volume clean.

PROMISES is the table: one row per disturbance, run in the places it
names (PLACES: a folder, a raw image).  A row names the command, the
kinds of call it disturbs and how; a new place is a class in PLACES that
lays out the files, reads them back and checks its volume.  (An image's
failing tools are test_images.py's and test_offline_registry.py's.)

Usage: TAMRIX=path/to/tamrix FILE_CALLS_SHIM=path/to/shim.so python3 test_file_calls.py
"""

import concurrent.futures
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import system_dat  # noqa: E402
from image_fixtures import DIR, Image  # noqa: E402
from registry_fixtures import DEVICES, machine_keys  # noqa: E402
from system_dat import Shape  # noqa: E402
from tamrix_fixtures import (MACHINE_INF, MACHINE_INF_INSTALLED, USB_INF,  # noqa: E402
                             USB_INF_INSTALLED, WindowsFolder, run_cli)

REGISTRY = system_dat.build(machine_keys(DEVICES[:2]), Shape("95", 40, True))
OLD = {"INF/MACHINE.INF": MACHINE_INF, "INF/USB.INF": USB_INF, "SYSTEM.DAT": REGISTRY}
INSTALLED = {"INF/MACHINE.INF": MACHINE_INF_INSTALLED, "INF/USB.INF": USB_INF_INSTALLED}
BACKUPS = {"INF/MACHINE.INF": "INF/MACHINE.IN@", "INF/USB.INF": "INF/USB.IN@",
           "SYSTEM.DAT": "SYSTEM.TX0"}

# (what, command, the kinds of call disturbed ("": every one), how: "kill"
#  (SIGKILL), "TERM" (SIGTERM, which the run acts on), or the error each
#  call fails with once; the places it runs in)
EVERY = ("folder", "raw image")
PROMISES = [
    ("Install killed at each call", "install", "", "kill", EVERY),
    ("Uninstall killed at each call", "uninstall", "", "kill", ("folder",)),
    ("Install stopped by SIGTERM at each call", "install", "", "TERM", EVERY),
    ("Install, each write, fsync, rename failing (EIO)", "install", "write,fsync,rename", "EIO",
     ("folder",)),
    ("Install, each write failing (ENOSPC)", "install", "write", "ENOSPC", ("folder",)),
    ("Install, each open failing (EACCES)", "install", "open", "EACCES", ("folder",)),
    ("Uninstall, each write, fsync, rename failing (EIO)", "uninstall", "write,fsync,rename",
     "EIO", ("folder",)),
]


class Folder:
    """The Windows folder on a Linux file system."""

    every = ""

    def __init__(self, files):
        # The names as an old copy may have them: not as the program writes
        # them (inf\usb.inf), so that each is found by its folder's listing.
        self.folder = WindowsFolder({}, inf_name="inf")
        self.root, self.where = self.folder.root, ["--windows-dir", self.folder.windows]
        for name, data in files.items():
            with open(os.path.join(self.folder.windows, name.replace("INF/", "inf/")), "wb") as f:
                f.write(data)

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

    def clean(self):
        return ""

    def close(self):
        self.folder.close()


class RawImage:
    """The Windows folder in a FAT12 floppy image, through mtools.  Its
    moments are the program's writes and fsyncs and each tool started: the
    image changes at no other call."""

    every = "fork,fsync,write"

    def __init__(self, files):
        self.image = Image(inf={}, others=dict({"WINDOWS/WIN.COM": b"x"}, **{
            "WINDOWS/" + name: data for name, data in files.items()}))
        self.root, self.where = self.image.root, ["--image", self.image.path]

    def files(self):
        inf = {"INF/" + name: data for name, data in self.image.folder("WINDOWS/INF").items()}
        return dict({name: data for name, data in self.image.folder("WINDOWS").items()
                     if name not in ("INF", "WIN.COM")}, **inf)

    def clean(self):
        return self.image.fsck()

    def close(self):
        self.image.close()


PLACES = [("folder", Folder), ("raw image", RawImage)]


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


def run(place, command, env=None):
    args = [command, "--platform-kind", "1", "--no"] if command != "status" else ["status"]
    return run_cli(args + place.where, env_extra=env)


def named_in(line):
    """The files a stop line names as changed, as files() names them."""
    if "changed before it: " not in line:
        return []
    names = line.split("changed before it: ")[1].split("; every other file")[0].split(", ")
    return sorted(name.split("WINDOWS/", 1)[1].upper() for name in names)


class EveryMoment(unittest.TestCase):
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
            status = run(place, "status")
            files = place.files()
            self.check_state(files, texts)
            for name, text in INSTALLED.items():
                line = [line for line in status[1] if line.upper().startswith(name + ":")][0]
                self.assertEqual(line.split(": ")[1].startswith("installed"), files[name] == text,
                                 status)
            again = run(place, command)
            self.assertEqual(again[0], 0, again)
            self.assertEqual(place.files(), clean)
            self.assertEqual(place.clean(), "")
        finally:
            place.close()

    def test_promises(self):
        installed = {}
        for _, make in PLACES:
            place = make(OLD)
            self.assertEqual(run(place, "install")[0], 0)
            installed[make] = {name: data for name, data in place.files().items() if name in OLD}
            place.close()
        # The moments run two at a time; each one's failure is told in turn.
        pool = concurrent.futures.ThreadPoolExecutor(max_workers=2)
        self.addCleanup(pool.shutdown)
        for what, command, row_kinds, how, places in PROMISES:
            for place_name, make in PLACES:
                if place_name not in places:
                    continue
                start = OLD if command == "install" else installed[make]
                place = make(start)
                self.addCleanup(place.close)
                log = os.path.join(place.root, "calls")
                kinds = row_kinds or make.every
                counted = run(place, command, shim(place, log, kinds=kinds))
                self.assertEqual(counted[0], 0, counted)
                clean = place.files()
                with open(log) as f:
                    moments = len(f.read().splitlines())
                if os.environ.get("SHOW_STEPS"):
                    print(what, place_name, moments)
                expected = (clean, {name: (start[name], clean[name]) for name in OLD}, place,
                            counted)
                runs = [pool.submit(self.moment, make, start, command, kinds, how, moment,
                                    expected) for moment in range(1, moments + 1)]
                for moment, done in enumerate(runs, 1):
                    with self.subTest(what, place=place_name, moment=moment):
                        done.result()


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
