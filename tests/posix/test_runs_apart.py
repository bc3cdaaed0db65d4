"""Runs of `tamrix` that meet other runs or signals: several Installs on one
folder at once, and SIGTERM at random moments of an Install.  Whatever
happens, machine.inf holds its old or its new text, and nothing is left
beside it.

Usage: TAMRIX=path/to/tamrix python3 test_runs_apart.py
"""

import fcntl
import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tamrix_fixtures import (COMPLETED, MACHINE_INF, WindowsFolder, chance,  # noqa: E402
                             tamrix_program)

HELD = "Tamrix: Another Tamrix is changing "


def big_machine_inf(megabytes):
    """The machine.inf fixture grown to about `megabytes` with comment lines."""
    filler = b"".join(b"; filler line %07d of a machine.inf grown for the test\r\n" % n
                      for n in range(megabytes * 1024 * 1024 // 58))
    return MACHINE_INF + filler


def install(folder, **popen):
    return subprocess.Popen([tamrix_program(), "install", "--chipsets", "--windows-dir",
                             folder.windows, "--platform-kind", "1"],
                            stdin=subprocess.DEVNULL, **popen)


class RunsApart(unittest.TestCase):
    def setUp(self):
        self.folder = WindowsFolder({})
        self.addCleanup(self.folder.close)

    def put(self, text):
        with open(os.path.join(self.folder.inf, "machine.inf"), "wb") as f:
            f.write(text)

    def installed(self, text):
        """What Install makes of `text`, and how long it takes."""
        self.put(text)
        started = time.monotonic()
        self.assertEqual(install(self.folder, stdout=subprocess.DEVNULL).wait(), 0)
        return self.folder.contents()["machine.inf"], time.monotonic() - started

    def test_four_installs_at_once_keep_machine_inf(self):
        old = big_machine_inf(5)
        new, _ = self.installed(old)
        for attempt in range(20):
            self.put(old)
            runs = [install(self.folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    for _ in range(4)]
            results = [(run.wait(),) + tuple(out.decode() for out in run.communicate())
                       for run in runs]
            for status, output, errors in results:
                with self.subTest(attempt=attempt):
                    # Each run completes, or touches nothing and says why.
                    done = (status, errors) == (0, "") and output.startswith(COMPLETED + "\n")
                    held = (status, output) == (4, "") and errors.startswith(HELD)
                    self.assertTrue(done or held, (status, output, errors))
            self.assertEqual(self.folder.contents(), {"machine.inf": new}, attempt)
        uninstall = subprocess.run([tamrix_program(), "uninstall", "--chipsets", "--windows-dir",
                                    self.folder.windows, "--platform-kind", "1"],
                                   capture_output=True)
        self.assertEqual(uninstall.returncode, 0)
        self.assertEqual(self.folder.contents(), {"machine.inf": old})

    def test_a_folder_held_by_another_run_is_refused_at_once(self):
        self.put(MACHINE_INF)
        held = os.open(self.folder.inf, os.O_RDONLY | os.O_DIRECTORY)
        self.addCleanup(os.close, held)
        fcntl.flock(held, fcntl.LOCK_EX)
        run = install(self.folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(run.kill)
        out, err = run.communicate(timeout=20)  # it does not wait for the lock
        self.assertEqual((run.returncode, out, err.decode()[:len(HELD)]), (4, b"", HELD))
        self.assertEqual(self.folder.contents(), {"machine.inf": MACHINE_INF})

    def test_sigterm_leaves_the_old_or_the_new_text(self):
        old = big_machine_inf(20)
        new, seconds = self.installed(old)
        seen = set()
        moments = chance(self)
        for attempt in range(30):
            self.put(old)
            run = install(self.folder, stdout=subprocess.DEVNULL)
            time.sleep(moments.uniform(0, seconds * 1.2))
            run.send_signal(signal.SIGTERM)
            status = run.wait()
            contents = self.folder.contents()
            self.assertEqual(sorted(contents), ["machine.inf"], attempt)
            self.assertIn(contents["machine.inf"], (old, new), attempt)
            # A signal while the program is still being loaded ends it before
            # it can catch signals, and before it has touched anything.
            if status == -signal.SIGTERM:
                self.assertEqual(contents["machine.inf"], old, attempt)
            else:
                self.assertIn(status, (0, 128 + signal.SIGTERM), attempt)
            seen.add(contents["machine.inf"] == new)
        # Most signals come in the middle of the run.
        self.assertIn(False, seen)


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
