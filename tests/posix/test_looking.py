"""Commands that look without changing: `tamrix status`, and install and
uninstall with --dry-run, checked against what the real commands do on the
same folders.  Also a machine.inf that is a symbolic link.

Usage: TAMRIX=path/to/tamrix python3 test_looking.py
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tamrix_fixtures import (COMPLETED, MACHINE_INF, MACHINE_INF_98,  # noqa: E402
                             MACHINE_INF_98_INSTALLED, MACHINE_INF_INSTALLED,
                             MACHINE_INF_INSTALLED_KIND2, USB_INF, USB_INF_INSTALLED,
                             WARNING, WindowsFolder, finish_lines, run_cli, tamrix_program)

BOTH = {"machine.inf": MACHINE_INF, "usb.inf": USB_INF}
BOTH_INSTALLED = {"machine.inf": MACHINE_INF_INSTALLED, "usb.inf": USB_INF_INSTALLED}
MACHINE_ONLY = {"machine.inf": MACHINE_INF}


def stamps(folder):
    """Every entry of the INF folder, and the folder, with all its times.  A
    file not read since it was written has its access time updated by the
    next read, so a look that reads it shows here."""
    names = [""] + sorted(os.listdir(folder.inf))
    return {name: (lambda s: (s.st_mtime_ns, s.st_atime_ns, s.st_ctime_ns, s.st_size))(
        os.lstat(os.path.join(folder.inf, name))) for name in names}


class Status(unittest.TestCase):
    CASES = [
        # files, options, status, lines
        (BOTH, [], 3, ["inf/machine.inf: not installed", "inf/usb.inf: not installed"]),
        (BOTH_INSTALLED, [], 0, ["inf/machine.inf: installed (21 marked lines)",
                                 "inf/usb.inf: installed (9 marked lines)"]),
        # Kind 2 also wants the three IRQ router lines.
        (BOTH_INSTALLED, ["--platform-kind", "2", "--chipsets"], 3,
         ["inf/machine.inf: partly installed: 22 of 25 lines present"]),
        ({"machine.inf": MACHINE_INF_INSTALLED_KIND2}, ["--platform-kind", "2"], 1,
         ["inf/machine.inf: installed (24 marked lines)", "inf/usb.inf: missing"]),
        # A file with no place for some lines: a partly installed one says more.
        ({"machine.inf": MACHINE_INF_98_INSTALLED, "usb.inf": USB_INF},
         ["--platform-kind", "2"], 3,
         ["inf/machine.inf: installed as far as this file allows: 4 of 25 lines present"
          "; no place for 21: 7 of [MS_SYS], 7 of [ControlFlags], 7 of [Strings]",
          "inf/usb.inf: not installed"]),
    ]

    def test_status(self):
        for files, options, status, lines in self.CASES:
            with self.subTest(options=options, files=sorted(files)):
                folder = WindowsFolder(files)
                self.addCleanup(folder.close)
                before = stamps(folder)  # before anything reads the files
                got = run_cli(["status", "--windows-dir", folder.windows] + options)
                self.assertEqual(got, (status, lines, []))
                self.assertEqual((stamps(folder), folder.contents()), (before, files))

    def test_install_and_status_agree_on_a_file_with_no_place_for_some_lines(self):
        folder = WindowsFolder({"machine.inf": MACHINE_INF_98})
        self.addCleanup(folder.close)
        args = ["--chipsets", "--platform-kind", "2", "--windows-dir", folder.windows]
        no_place = "; no place for 21: 7 of [MS_SYS], 7 of [ControlFlags], 7 of [Strings]"
        as_far = ("inf/machine.inf: installed as far as this file allows: 4 of 25 lines present"
                  + no_place)
        self.assertEqual(run_cli(["status"] + args),
                         (3, ["inf/machine.inf: not installed" + no_place], []))
        self.assertEqual(run_cli(["install"] + args), (0, [COMPLETED, as_far] + finish_lines(), []))
        self.assertEqual(folder.contents(), {"machine.inf": MACHINE_INF_98_INSTALLED})
        self.assertEqual(run_cli(["status"] + args), (6, [as_far], []))
        # A second Install finds nothing to add, and says so again.
        self.assertEqual(run_cli(["install"] + args), (0, [COMPLETED, as_far] + finish_lines(), []))
        self.assertEqual(folder.contents(), {"machine.inf": MACHINE_INF_98_INSTALLED})

    def test_a_file_that_cannot_be_read(self):
        folder = WindowsFolder({"machine.inf": MACHINE_INF_INSTALLED})
        self.addCleanup(folder.close)
        os.mkdir(os.path.join(folder.inf, "usb.inf"))
        self.assertEqual(run_cli(["status", "--platform-kind", "1", "--windows-dir",
                                  folder.windows]),
                         (3, ["inf/machine.inf: installed (21 marked lines)",
                              "inf/usb.inf: cannot be read"],
                          ["File Read Error: Can't read " + os.path.join(folder.inf, "usb.inf")]))


class DryRun(unittest.TestCase):
    """The diff of a dry run, applied with patch to a copy of the folder, gives
    what the real command writes; the folder itself is not touched."""

    def check(self, files, command, kind):
        real, dry = WindowsFolder(files), WindowsFolder(files)
        self.addCleanup(real.close)
        self.addCleanup(dry.close)
        args = [command, "--platform-kind", kind]
        done = run_cli(args + ["--windows-dir", real.windows])
        before = stamps(dry)  # before anything reads the files
        scratch = tempfile.mkdtemp(prefix="tamrix-tmpdir-")
        self.addCleanup(shutil.rmtree, scratch)
        # What a killed dry run left (no process has that id) goes too.
        os.makedirs(os.path.join(scratch, "tamrix-preview.999999999", "left"))
        shown = subprocess.run([tamrix_program()] + args + ["--dry-run", "--windows-dir",
                                                            dry.windows],
                               stdin=subprocess.DEVNULL, capture_output=True,
                               env=dict(os.environ, TMPDIR=scratch, XDG_RUNTIME_DIR=scratch))
        self.assertEqual((shown.returncode, shown.stderr), (done[0], b""))
        self.assertEqual(os.listdir(scratch), [])  # the scratch folders are gone
        self.assertEqual((stamps(dry), dry.contents()), (before, files))
        # The diff keeps the files' CR LF, which patch --binary keeps too.
        patched = subprocess.run(["patch", "-p1", "--binary", "--quiet", "--no-backup-if-mismatch"],
                                 input=shown.stdout, cwd=dry.windows, capture_output=True)
        self.assertEqual(patched.returncode, 0, patched.stdout + patched.stderr)
        self.assertEqual(dry.contents(), real.contents())
        return shown.stdout.split(b"\n")[:-1]

    def test_dry_runs_give_what_the_commands_write(self):
        for files, command, kind in [(BOTH, "install", "1"), (BOTH, "install", "2"),
                                     (MACHINE_ONLY, "install", "1"),  # a new usb.inf
                                     (BOTH_INSTALLED, "install", "1"),  # nothing to add
                                     (BOTH_INSTALLED, "uninstall", "1")]:
            with self.subTest(files=sorted(files), command=command, kind=kind):
                diff = self.check(files, command, kind)
                if files is BOTH:
                    self.assertEqual(diff[:2], [b"--- a/inf/machine.inf", b"+++ b/inf/machine.inf"])
                if files is BOTH_INSTALLED and command == "install":
                    self.assertEqual(diff, [])

    def test_only_the_diff_goes_to_standard_output(self):
        # The start-up warning, answered by --yes, is a line for people.
        folder = WindowsFolder(BOTH)
        self.addCleanup(folder.close)
        shown = subprocess.run([tamrix_program(), "install", "--yes", "--dry-run", "--windows-dir",
                                folder.windows], stdin=subprocess.DEVNULL, capture_output=True)
        self.assertEqual((shown.returncode, shown.stderr.decode()), (0, WARNING + "Yes\n"))
        self.assertTrue(shown.stdout.startswith(b"--- a/inf/machine.inf\n"), shown.stdout[:80])

    def test_after_an_uninstall(self):
        folder = WindowsFolder(BOTH_INSTALLED)
        self.addCleanup(folder.close)
        run_cli(["uninstall", "--platform-kind", "1", "--windows-dir", folder.windows])
        self.check(folder.contents(), "install", "1")


class Links(unittest.TestCase):
    """A name of the Windows folder that is a link: followed where it stays
    inside the folder (the file it names is edited, out.inf beside it),
    refused where it leads out, with a line naming both, nothing changed."""

    def test_links_inside_and_out(self):
        for what, store_in_windows in (("inside", True), ("out", False)):
            with self.subTest(what):
                folder = WindowsFolder({"usb.inf": USB_INF})
                self.addCleanup(folder.close)
                store = os.path.join(folder.windows if store_in_windows else folder.root, "store")
                os.mkdir(store)
                with open(os.path.join(store, "machine.inf"), "wb") as f:
                    f.write(MACHINE_INF)
                link = os.path.relpath(os.path.join(store, "machine.inf"), folder.inf)
                os.symlink(link, os.path.join(folder.inf, "machine.inf"))
                status, _, errors = run_cli(["install", "--platform-kind", "1", "--windows-dir",
                                             folder.windows])
                with open(os.path.join(store, "machine.inf"), "rb") as f:
                    text = f.read()
                self.assertEqual(sorted(os.listdir(store)), ["machine.inf"])
                if store_in_windows:
                    self.assertEqual((status, errors, text), (0, [], MACHINE_INF_INSTALLED))
                    self.assertEqual(folder.contents(), {"machine.inf": "<link to %s>" % link,
                                                         "usb.inf": USB_INF_INSTALLED})
                    continue
                self.assertEqual(text, MACHINE_INF)
                self.assertEqual(folder.contents(), {"machine.inf": "<link to %s>" % link,
                                                     "usb.inf": USB_INF})
                self.assertEqual(status, 3)
                self.assertEqual(errors[0], "Tamrix: %s/machine.inf is a link that leads out of "
                                 "the Windows folder, to %s/machine.inf: Tamrix does not follow "
                                 "it, and leaves both as they are." % (folder.inf, store))


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
