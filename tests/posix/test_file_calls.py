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

PROMISES is the table: one row per disturbance, one column per place
(PLACES).  A row names the command, the moments it disturbs and how; a new
place is a function in PLACES that lays out the files and reads them back.

Usage: TAMRIX=path/to/tamrix FILE_CALLS_SHIM=path/to/shim.so python3 test_file_calls.py
"""

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

# (what, command, the kinds of call disturbed ("": every one), how:
#  "kill" or the error each call fails with once)
PROMISES = [
    ("Install killed at each call", "install", "", "kill"),
    ("Uninstall killed at each call", "uninstall", "", "kill"),
    ("Install, each write, fsync, rename failing (EIO)", "install", "write,fsync,rename", "EIO"),
    ("Install, each write failing (ENOSPC)", "install", "write", "ENOSPC"),
    ("Install, each open failing (EACCES)", "install", "open", "EACCES"),
    ("Uninstall, each write, fsync, rename failing (EIO)", "uninstall", "write,fsync,rename",
     "EIO"),
]


class Folder:
    """The Windows folder on a Linux file system."""

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
    """The Windows folder in a FAT12 floppy image, through mtools."""

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


class EveryMoment(unittest.TestCase):
    def check_state(self, files, texts):
        """Each file old or new, or missing with its backup there."""
        for name, allowed in texts.items():
            if name in files:
                self.assertIn(files[name], allowed, name)
            else:
                self.assertIn(BACKUPS[name], files, name)

    def test_promises(self):
        installed = {}
        for _, make in PLACES:
            place = make(OLD)
            self.assertEqual(run(place, "install")[0], 0)
            installed[make] = {name: data for name, data in place.files().items() if name in OLD}
            place.close()
        for what, command, kinds, how in PROMISES:
            for place_name, make in PLACES:
                if place_name != "folder" and (how != "kill" or command != "install"):
                    continue  # an image's failing tools: test_images.py
                start = OLD if command == "install" else installed[make]
                place = make(start)
                self.addCleanup(place.close)
                log = os.path.join(place.root, "calls")
                first, counted = place, run(place, command, shim(place, log, kinds=kinds))
                self.assertEqual(counted[0], 0, counted)
                clean = place.files()
                with open(log) as f:
                    moments = len(f.read().splitlines())
                if os.environ.get("SHOW_STEPS"):
                    print(what, place_name, moments)
                texts = {name: (start[name], clean[name]) for name in OLD}
                for moment in range(1, moments + 1):
                    with self.subTest(what, place=place_name, moment=moment):
                        place = make(start)
                        self.addCleanup(place.close)
                        disturb = {"kill_at": moment} if how == "kill" else \
                            {"fail_at": moment, "errno": how}
                        got = run(place, command, shim(place, os.devnull, kinds=kinds, **disturb))
                        if how != "kill" and said(place, got) == said(first, counted):
                            # Told nothing: the failure changed nothing (a look
                            # that the run made again).
                            self.assertEqual(place.files(), clean, got)
                        self.check_state(place.files(), texts)
                        status = run(place, "status")
                        files = place.files()
                        self.check_state(files, texts)
                        for name, text in INSTALLED.items():
                            line = [line for line in status[1]
                                    if line.upper().startswith(name + ":")][0]
                            self.assertEqual(line.split(": ")[1].startswith("installed"),
                                             files[name] == text, status)
                        again = run(place, command)
                        self.assertEqual(again[0], 0, again)
                        self.assertEqual(place.files(), clean)
                        self.assertEqual(place.clean(), "")
                        place.close()


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
