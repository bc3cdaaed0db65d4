"""Shared pieces of the end-to-end tests of the Linux program `tamrix`.

The INF files come from tests/fixtures (see inf_text.py there), written by
hand: the inputs are small INF files of the usual layout, and each expected
output is the input with the lines that Install adds put in by hand, by
placeholder, at the places the merges choose.  Files are written and
compared as bytes, CR LF on disk.
"""

import os
import random
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest


sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from inf_text import fixture  # noqa: E402
from left_over import end_left_over  # noqa: E402

# ---- the INF files (tests/fixtures, shared with the C++ tests) --------------------

# machine.inf before Install, and after it on platform kinds 1 and 2 (kind 2
# also takes the IRQ router lines).  Uninstall gives the input back.
MACHINE_INF = fixture("machine.inf")
MACHINE_INF_INSTALLED = fixture("machine-kind1.inf")
MACHINE_INF_INSTALLED_KIND2 = fixture("machine-kind2.inf")
# usb.inf before and after Install; the lines it holds are not added again.
USB_INF = fixture("usb.inf")
USB_INF_INSTALLED = fixture("usb-installed.inf")
# A usb.inf made by Install where there was none: the 16 template lines.
USB_INF_NEW = fixture("usb-new.inf")
# A machine.inf laid out as Windows 98's, with a place for one line only,
# before and after Install on kind 2.
MACHINE_INF_98 = fixture("machine-98.inf")
MACHINE_INF_98_INSTALLED = fixture("machine-98-kind2.inf")

# ---- the messages, as the command line prints them ---------------------------

COMPLETED = "OK:  The utility has updated completely!"
UNINSTALLED = "OK: The utility has uninstalled completely!"
WARNING = "Warning:  The OS is not Windows 95 system. /  Continue, anyway? [Yes/No] "
# Exit's box where Windows asks to restart: nothing restarts on Linux.
RESTART = "Finish: The changes take effect when the Windows being patched next starts."
# The ten devices whose enumeration keys Exit deletes, in their order.
DEVICES = [
    r"PCI\VEN_8086&DEV_7110", r"PCI\VEN_8086&DEV_7100", r"PCI\VEN_8086&DEV_7113",
    r"PCI\VEN_8086&DEV_7180", r"PCI\VEN_8086&DEV_7181", r"PCI\VEN_8086&DEV_7112",
    r"PCI\VEN_8086&DEV_7020", r"PCI\VEN_1039&DEV_7001", r"PCI\VEN_1039&DEV_5571",
    r"PCI\VEN_1039&DEV_5597",
]
OFFLINE_NOTE = (
    "Finish: The Windows being patched is not running here, so its devices could not "
    "be reset. / At its next start, remove these devices in Device Manager, then "
    "restart it:" + "".join(" /     " + device for device in DEVICES))


def finish_lines():
    """What Exit prints after a change: when it takes effect, then the note."""
    return [RESTART, OFFLINE_NOTE]


# ---- folders --------------------------------------------------------------------

def tamrix_program():
    program = os.environ.get("TAMRIX")
    if not program or not os.access(program, os.X_OK):
        raise SystemExit("set TAMRIX to the built tamrix program")
    return program


class WindowsFolder:
    """A scratch Windows folder with an INF folder, removed afterwards."""

    def __init__(self, files, inf_name="inf"):
        self.root = tempfile.mkdtemp(prefix="tamrix-e2e-")
        self.windows = os.path.join(self.root, "WINDOWS")
        self.inf = os.path.join(self.windows, inf_name)
        os.makedirs(self.inf)
        for name, data in files.items():
            with open(os.path.join(self.inf, name), "wb") as f:
                f.write(data)

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def path(self, relative):
        """The Windows-style path the program builds and shows."""
        return self.windows + "\\" + relative

    def contents(self):
        """Every entry of the INF folder: name -> bytes, "<dir>" or
        "<link to TARGET>"."""
        result = {}
        for name in sorted(os.listdir(self.inf)):
            full = os.path.join(self.inf, name)
            mode = os.lstat(full).st_mode
            if stat.S_ISLNK(mode):
                result[name] = "<link to %s>" % os.readlink(full)
            elif stat.S_ISDIR(mode):
                result[name] = "<dir>"
            else:
                with open(full, "rb") as f:
                    result[name] = f.read()
        return result


def run_cli(args, stdin=subprocess.DEVNULL, env_extra=None, env_drop=("WINDIR",)):
    """Runs tamrix with `args`; returns (status, stdout lines, stderr lines)."""
    env = dict(os.environ)
    for name in env_drop:
        env.pop(name, None)
    if env_extra:
        env.update(env_extra)
    done = subprocess.run([tamrix_program()] + list(args), stdin=stdin, capture_output=True,
                          env=env, timeout=30)
    return (done.returncode, done.stdout.decode("latin-1").splitlines(),
            done.stderr.decode("latin-1").splitlines())


# ---- random timing -------------------------------------------------------------
#
# A test that sends signals at random moments draws them from chance(self):
# the seed comes from TAMRIX_SEED when it is set, else it is new, and a
# failure of the test prints it, so that TAMRIX_SEED=<seed> draws the same
# moments again.

SEED = "TAMRIX_SEED"


def chance(test):
    """A random.Random for `test`, whose seed its failure prints."""
    seed = int(os.environ.get(SEED) or random.randrange(1 << 30))
    test.tamrix_seed = seed
    return random.Random(seed)


# ---- the processes a test starts ------------------------------------------------
#
# Every process a test file starts carries TAMRIX_TEST_FILE=<the file's pid> in
# its environment (see tests/left_over.py).  After each test, whatever its
# outcome, what still carries the mark is ended, and the test fails naming it.

MARK = "TAMRIX_TEST_FILE"


def _nothing_left_running(test):
    left = end_left_over(MARK, os.getpid(), ours={os.getpid()})
    if left:
        raise test.failureException("left running when the test ended (now killed): " +
                                    "; ".join(left))


class _EndingResult(unittest.TextTestResult):
    def startTest(self, test):
        super().startTest(test)
        test.addCleanup(_nothing_left_running, test)  # the first added runs last

    def _print_seed(self, test):
        if getattr(test, "tamrix_seed", None) is not None:
            self.stream.writeln("\n%s=%d repeats the random timing of %s" %
                                (SEED, test.tamrix_seed, test.id()))

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self._print_seed(test)

    def addError(self, test, err):
        super().addError(test, err)
        self._print_seed(test)


class _EndingRunner(unittest.TextTestRunner):
    resultclass = _EndingResult


def main():
    """unittest.main for a test file of this folder: each test fails when a
    process it started is still running after its own cleanups."""
    os.environ[MARK] = str(os.getpid())
    program = unittest.main(testRunner=_EndingRunner, exit=False)
    # What was started outside any test, as by a setUpClass.
    left = end_left_over(MARK, os.getpid(), ours={os.getpid()})
    for line in left:
        print("left running (now killed): " + line, file=sys.stderr)
    sys.exit(0 if program.result.wasSuccessful() and not left else 1)
