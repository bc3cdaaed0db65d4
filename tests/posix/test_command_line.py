"""The command line of `tamrix`: every row of the failure table of the
Install and Uninstall runs, the start-up warning, the answers to Yes/No
questions, and the usage errors.

Each case runs the program on a scratch Windows folder with standard input
closed, and checks the lines on standard output and standard error, the exit
status and every entry of the INF folder afterwards, byte for byte.

Usage: TAMRIX=path/to/tamrix python3 test_command_line.py
"""

import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from tamrix_fixtures import (COMPLETED, MACHINE_INF, MACHINE_INF_INSTALLED,  # noqa: E402
                             MACHINE_INF_INSTALLED_KIND2, RESTART, UNINSTALLED, USB_INF,
                             USB_INF_INSTALLED, USB_INF_NEW, WARNING, WindowsFolder,
                             finish_lines, run_cli)
from sample_registry import sample_system_dat  # noqa: E402

BOTH = {"machine.inf": MACHINE_INF, "usb.inf": USB_INF}
BOTH_INSTALLED = {"machine.inf": MACHINE_INF_INSTALLED, "usb.inf": USB_INF_INSTALLED}
DIR = "<dir>"
# A usb.inf that is a link into a folder that does not exist.
DANGLING = "<link to no-such-folder/usb.inf>"


def make_folder(files):
    folder = WindowsFolder({n: d for n, d in files.items() if isinstance(d, bytes)})
    for name, data in files.items():
        if data == DIR:
            os.mkdir(os.path.join(folder.inf, name))
        elif data == DANGLING:
            os.symlink("no-such-folder/usb.inf", os.path.join(folder.inf, name))
    return folder


class FailureTable(unittest.TestCase):
    """One case per row and command: (what, command, options, files before,
    expected status, stdout, stderr, files after).  In the texts, {dir}
    stands for the Windows folder.  Exit shows the restart question and the
    offline note whenever a file was replaced before the run stopped.  The
    status is 0 only when every file ended as asked: 1 for a file missing or
    not creatable, 3 for one a failure left unchanged."""

    CASES = [
        # machine.inf missing: the run ends at once, usb.inf never reached.
        ("machine.inf missing", "install", [], {"usb.inf": USB_INF},
         1, [], [r"File Open Error: Can't find {dir}/inf/machine.inf"],
         {"usb.inf": USB_INF}),
        ("machine.inf missing", "uninstall", [], {"usb.inf": USB_INF_INSTALLED},
         1, [], [r"File Open Error: Can't find {dir}/inf/machine.inf"],
         {"usb.inf": USB_INF_INSTALLED}),

        # usb.inf missing: Install makes a new one and reports success ...
        ("usb.inf missing", "install", [], {"machine.inf": MACHINE_INF},
         0, [COMPLETED] + finish_lines(), [],
         {"machine.inf": MACHINE_INF_INSTALLED, "usb.inf": USB_INF_NEW}),
        ("usb.inf missing, USB only", "install", ["--usb"], {"machine.inf": MACHINE_INF},
         0, [COMPLETED] + finish_lines(), [],
         {"machine.inf": MACHINE_INF, "usb.inf": USB_INF_NEW}),
        # ... Uninstall stops after the message, machine.inf already cleaned.
        ("usb.inf missing", "uninstall", [], {"machine.inf": MACHINE_INF_INSTALLED},
         1, finish_lines(), [r"File Open Error: Can't find {dir}/inf/usb.inf"],
         {"machine.inf": MACHINE_INF}),
        ("usb.inf missing, USB only", "uninstall", ["--usb"],
         {"machine.inf": MACHINE_INF_INSTALLED},
         1, [], [r"File Open Error: Can't find {dir}/inf/usb.inf"],
         {"machine.inf": MACHINE_INF_INSTALLED}),

        # The temporary file cannot be created: a folder holds its name.
        ("out.inf not creatable", "install", [], dict(BOTH, **{"out.inf": DIR}),
         1, [], [r"File Open Error: Can't create {dir}/inf/out.inf"],
         dict(BOTH, **{"out.inf": DIR})),
        ("out.inf not creatable", "uninstall", [], dict(BOTH_INSTALLED, **{"out.inf": DIR}),
         1, [], [r"File Open Error: Can't create {dir}/inf/out.inf"],
         dict(BOTH_INSTALLED, **{"out.inf": DIR})),

        # A usb.inf that is a link to nothing is there but cannot be read:
        # no new usb.inf is made over it.  machine.inf is already replaced.
        ("usb.inf a dangling link", "install", [],
         {"machine.inf": MACHINE_INF, "usb.inf": DANGLING},
         3, finish_lines(), ["File Read Error: Can't read {dir}/inf/usb.inf"],
         {"machine.inf": MACHINE_INF_INSTALLED, "usb.inf": DANGLING}),
        ("usb.inf a dangling link, USB only", "install", ["--usb"],
         {"machine.inf": MACHINE_INF, "usb.inf": DANGLING},
         3, [], ["File Read Error: Can't read {dir}/inf/usb.inf"],
         {"machine.inf": MACHINE_INF, "usb.inf": DANGLING}),

        # A folder named like a backup: a Linux folder renames out.inf over
        # the target in one step, with no backup name, so it blocks nothing
        # and is left alone.  (A rename that fails: test_file_calls.py.)
        ("a folder named like the backup", "install", [],
         dict(BOTH, **{"machine.in@": DIR, "usb.in@": DIR}),
         0, [COMPLETED] + finish_lines(), [],
         dict(BOTH_INSTALLED, **{"machine.in@": DIR, "usb.in@": DIR})),
        ("a folder named like the backup", "uninstall", [],
         dict(BOTH_INSTALLED, **{"machine.in@": DIR, "usb.in@": DIR}),
         0, [UNINSTALLED] + finish_lines(), [],
         dict(BOTH, **{"machine.in@": DIR, "usb.in@": DIR})),
    ]

    def test_every_row(self):
        for what, command, options, before, status, out, err, after in self.CASES:
            with self.subTest(what=what, command=command):
                folder = make_folder(before)
                try:
                    got = run_cli([command, "--windows-dir", folder.windows,
                                   "--platform-kind", "1"] + options)
                    expand = [line.replace("{dir}", folder.windows) for line in err]
                    self.assertEqual(got, (status, out, expand))
                    self.assertEqual(folder.contents(), after)
                finally:
                    folder.close()


    def test_a_windows_folder_of_260_characters_is_too_long(self):
        # 259 characters and the NUL fill the buffer: 260 does not fit.
        folder = make_folder(BOTH)
        self.addCleanup(folder.close)
        deep = folder.windows
        while len(deep) < 260:
            deep = os.path.join(deep, "w" * min(100, 259 - len(deep)))
        os.makedirs(os.path.join(deep, "inf"))
        got = run_cli(["install", "--windows-dir", deep, "--platform-kind", "1"])
        self.assertEqual(len(deep), 260)
        # Told once for the folder, then the run stops at machine.inf.
        self.assertEqual(got, (3, [], ["File Open Error: Path too long: " + deep,
                                       "File Open Error: Path too long: %s/inf/machine.inf" % deep]))


class Runs(unittest.TestCase):
    """Runs that succeed, and the questions they ask."""

    def run_on(self, files, args):
        folder = make_folder(files)
        self.addCleanup(folder.close)
        result = run_cli([args[0], "--windows-dir", folder.windows] + args[1:])
        return result, folder.contents()

    def test_commands(self):
        cases = [
            # what, files before, arguments, status, stdout, files after
            ("install, kind 1", BOTH, ["install", "--platform-kind", "1"],
             0, [COMPLETED] + finish_lines(), BOTH_INSTALLED),
            ("install, kind 2 adds the IRQ router lines", BOTH,
             ["install", "--platform-kind", "2"], 0, [COMPLETED] + finish_lines(),
             {"machine.inf": MACHINE_INF_INSTALLED_KIND2, "usb.inf": USB_INF_INSTALLED}),
            ("install, chipsets only", BOTH, ["install", "--chipsets", "--platform-kind=1"],
             0, [COMPLETED] + finish_lines(),
             {"machine.inf": MACHINE_INF_INSTALLED, "usb.inf": USB_INF}),
            ("install twice adds nothing", BOTH_INSTALLED, ["install", "--platform-kind", "1"],
             0, [COMPLETED] + finish_lines(), BOTH_INSTALLED),
            ("uninstall", BOTH_INSTALLED, ["uninstall", "--platform-kind", "1"],
             0, [UNINSTALLED] + finish_lines(), BOTH),
            ("uninstall, USB only", BOTH_INSTALLED, ["uninstall", "--usb", "--platform-kind", "1"],
             0, [UNINSTALLED] + finish_lines(),
             {"machine.inf": MACHINE_INF_INSTALLED, "usb.inf": USB_INF}),
            ("kind 2 uninstall removes the IRQ router lines too",
             {"machine.inf": MACHINE_INF_INSTALLED_KIND2, "usb.inf": USB_INF},
             ["uninstall", "--chipsets", "--platform-kind", "2"],
             0, [UNINSTALLED] + finish_lines(), BOTH),
            # Linux is kind 0: the warning, answered No without a terminal.
            # Declined: status 5, so that a script can tell that nothing was done.
            ("kind 0 warning, answered No", BOTH, ["install"], 5, [WARNING + "No"], BOTH),
            ("kind 0 warning, --no", BOTH, ["install", "--no"], 5, [WARNING + "No"], BOTH),
            ("kind 0 warning, --yes", BOTH, ["install", "--yes"],
             0, [WARNING + "Yes", COMPLETED] + finish_lines(), BOTH_INSTALLED),
            ("--platform-kind 0 is the default", BOTH, ["uninstall", "--platform-kind", "0"],
             5, [WARNING + "No"], BOTH),
        ]
        for what, before, args, status, out, after in cases:
            with self.subTest(what=what):
                (got_status, got_out, got_err), files = self.run_on(before, args)
                self.assertEqual((got_status, got_out, got_err), (status, out, []))
                self.assertEqual(files, after)

    def test_windows_folder_names_as_copied(self):
        # A folder copied from a Windows disk: INF and MACHINE.INF in capitals.
        folder = WindowsFolder({"MACHINE.INF": MACHINE_INF, "USB.INF": USB_INF}, inf_name="INF")
        self.addCleanup(folder.close)
        status, out, err = run_cli(["install", "--platform-kind", "1"],
                                   env_extra={"WINDIR": folder.windows}, env_drop=())
        self.assertEqual((status, out, err), (0, [COMPLETED] + finish_lines(), []))
        # The new texts keep the names as they were on disk.
        self.assertEqual(folder.contents(), {"MACHINE.INF": MACHINE_INF_INSTALLED,
                                             "USB.INF": USB_INF_INSTALLED})

    def test_sample_folder_round_trip(self):
        # The sample folder of the repository, as scripts/run.sh copies it:
        # a Windows 95 folder by its SYSTEM.DAT, so no start-up warning.
        # Install, then Uninstall, gives back every byte of the INF files;
        # Exit deletes the four device keys the registry holds.
        root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        with open(os.path.join(root, "sample", "WINDOWS", "SYSTEM.DAT"), "rb") as f:
            self.assertEqual(f.read(), sample_system_dat())
        scratch = tempfile.mkdtemp(prefix="tamrix-sample-")
        self.addCleanup(shutil.rmtree, scratch)
        windows = os.path.join(scratch, "WINDOWS")
        shutil.copytree(os.path.join(root, "sample", "WINDOWS"), windows)
        inf = os.path.join(windows, "INF")

        def contents():
            files = {}
            for name in os.listdir(inf):
                with open(os.path.join(inf, name), "rb") as f:
                    files[name] = f.read()
            return files
        files = contents()
        self.assertEqual(sorted(files), ["MACHINE.INF", "USB.INF"])
        kind = "Windows in the folder: version 4.00.950, no service string: platform kind 1"
        removed = ("Finish: 4 of the ten devices were removed from the registry of %s (the "
                   "previous one is SYSTEM.TX0): Windows detects them anew at its next start."
                   % windows)
        install = run_cli(["install", "--windows-dir", windows])
        self.assertEqual(install, (0, [kind, COMPLETED, RESTART, removed], []))
        installed = contents()
        for name in files:
            added = [line for line in installed[name].split(b"\r\n") if line.endswith(b";Tamrix")]
            self.assertEqual(len(added), {"MACHINE.INF": 22, "USB.INF": 8}[name], name)
        self.assertEqual(sorted(os.listdir(windows)), ["INF", "SYSTEM.DAT", "SYSTEM.TX0"])
        uninstall = run_cli(["uninstall", "--windows-dir", windows])
        # The keys are gone already: Exit has none to delete.
        self.assertEqual(uninstall[0:2], (0, [kind, UNINSTALLED, RESTART, uninstall[1][-1]]))
        self.assertEqual(contents(), files)


class Usage(unittest.TestCase):
    """Wrong command lines end with status 2, touching nothing."""

    def test_help(self):
        status, out, err = run_cli(["--help"])
        self.assertEqual((status, err), (0, []))
        self.assertEqual(out[0], "Usage:")
        self.assertIn("  tamrix install|uninstall [--chipsets] [--usb] [--windows-dir DIR]", out)

    def test_wrong_command_lines(self):
        # Each error on one line, then where to look, as GNU tools do; the
        # messages themselves are options_tests.cpp's business.
        cases = [
            ([], "Tamrix: no Windows folder: name it, or set WINDIR"),
            (["install", "--force", "W"], "Tamrix: unknown option --force"),
            (["status", "--yes", "W"], "Tamrix: --yes goes with install or uninstall"),
        ]
        for args, first in cases:
            with self.subTest(args=args):
                self.assertEqual(run_cli(args), (2, [], [first, "Try 'tamrix --help'."]))

    def test_dialog_needs_a_terminal(self):
        folder = WindowsFolder(BOTH)
        self.addCleanup(folder.close)
        status, out, err = run_cli([folder.windows])
        self.assertEqual((status, out), (2, []))
        self.assertEqual(err[0], "Tamrix: the dialog needs a terminal; without one, use")
        self.assertEqual(folder.contents(), BOTH)
        # The command it suggests names the image when one was given.
        self.assertEqual(run_cli(["--image", "win95.img"])[2][1],
                         "  tamrix install|uninstall --image FILE ...  (see tamrix --help)")


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
