"""The terminal of the end-to-end tests: the program run in a tmux pane of a
fixed size, keys pressed with send-keys and the screen read with
capture-pane, and the dialog and message boxes read off that screen."""

import itertools
import os
import re
import shlex
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tamrix_fixtures import WindowsFolder, tamrix_program  # noqa: E402

TITLE = "Tamrix.exe R1.01"
MARKS = ("[X]", "[?]", "[i]")
# The top edge of a frame with a caption: the dialog's, or a message box's.
CAPTIONED_EDGE = re.compile(r"\+-+ ([^-+|]+) -+\+")
_sessions = itertools.count()


class Terminal:
    """A program running in a tmux pane of `columns` x `rows` cells."""

    def __init__(self, args, columns=80, rows=24, wrapper=()):
        """`wrapper`, when given, is a command that runs the program."""
        self.socket = "tamrix-e2e-%d-%d" % (os.getpid(), next(_sessions))
        # After the program the pane keeps what it printed, and its status.
        command = "%s; echo \"[exit $?]\"; exec cat >/dev/null" % " ".join(
            shlex.quote(a) for a in list(wrapper) + [tamrix_program()] + list(args))
        env = dict(os.environ)
        env.pop("WINDIR", None)
        env.setdefault("TERM", "xterm")  # tmux's client wants one, even detached
        self.tmux("new-session", "-d", "-x", str(columns), "-y", str(rows), "sh", "-c", command,
                  env=env)

    def tmux(self, *args, env=None):
        return subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null"] + list(args),
                              capture_output=True, check=True, env=env, timeout=10).stdout

    def program(self):
        """The pid of the program while it runs in the pane, else None."""
        try:
            shell = int(self.tmux("list-panes", "-F", "#{pane_pid}").split()[0])
        except subprocess.CalledProcessError:
            return None
        table = subprocess.run(["ps", "-e", "-o", "pid=,ppid=,args="], capture_output=True,
                               check=True).stdout.decode("latin-1").splitlines()
        processes = [line.split(None, 2) + [""] for line in table]
        below = {shell}  # the shell, and what runs under it (a wrapper)
        for pid, parent, command, _ in processes:
            if int(parent) in below:
                if command.split(" ")[0] == tamrix_program():
                    return int(pid)
                below.add(int(pid))
        return None

    def close(self):
        """Ends a program still running with SIGTERM, waits for it, and only
        then closes the terminal.  Closing it first would end the program by
        the hang-up, and then the exit of the pane's shell sends the
        program's group SIGHUP and SIGCONT (the kernel does so for the
        foreground group of a terminal hung up).  A SIGCONT that comes while
        LeakSanitizer's tracer is attaching to a sanitized build at its exit
        cancels the stop the tracer waits for: the tracer waits and the
        program spins for ever."""
        program = self.program()
        if program is not None:
            try:
                os.kill(program, signal.SIGTERM)
                self.wait_for_exit()
            except (ProcessLookupError, AssertionError, subprocess.SubprocessError):
                pass  # what is left is killed, and the test failed, after its cleanups
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True,
                       timeout=10)

    def keys(self, *names):
        for name in names:
            self.tmux("send-keys", name)
            time.sleep(0.05)

    def screen(self):
        return self.tmux("capture-pane", "-p").decode("latin-1").split("\n")

    def wait_for(self, condition, what, timeout=10.0):
        """Polls the screen until condition(screen) gives a true value."""
        deadline = time.monotonic() + timeout
        while True:
            screen = self.screen()
            found = condition(screen)
            if found:
                return found
            if time.monotonic() > deadline:
                raise AssertionError("no %s on the screen:\n%s" % (what, "\n".join(screen)))
            time.sleep(0.05)

    def wait_for_text(self, text, timeout=10.0):
        return self.wait_for(lambda s: any(text in line for line in s), repr(text), timeout)

    def transcript(self):
        """The lines the program left on the terminal, wrapped lines joined,
        up to its exit status."""
        lines = [line.rstrip() for line in
                 self.tmux("capture-pane", "-p", "-J").decode("latin-1").split("\n")]
        end = next(r for r, line in enumerate(lines) if re.fullmatch(r"\[exit \d+\]", line))
        return [line for line in lines[:end] if line]

    def wait_for_exit(self):
        """The program's exit status, once it has ended."""
        line = self.wait_for(
            lambda s: next((l for l in s if re.fullmatch(r"\[exit \d+\]", l.strip())), None),
            "exit status")
        return int(line.strip()[6:-1])


def read_box(screen, caption):
    """The message box captioned `caption`, or None: its icon mark, text
    lines and button row."""
    for top, line in enumerate(screen):
        at = line.find(" %s " % caption)
        if at < 1 or line[at - 1] != "-" or line[at + len(caption) + 2: at + len(caption) + 3] != "-":
            continue
        left, right = line.rfind("+", 0, at), line.find("+", at)
        bottom = next((r for r in range(top + 1, len(screen))
                       if len(screen[r]) > left and screen[r][left] == "+"), None)
        if left < 0 or right < 0 or bottom is None:
            continue
        inner = [row[left + 1:right] for row in screen[top + 1:bottom]]
        texts = inner[1:-3]
        mark = texts[0][1:4] if texts and texts[0][1:4] in MARKS else None
        skip = 1 + (4 if mark else 0)
        return {"icon": mark, "lines": [t[skip:].rstrip() for t in texts],
                "buttons": inner[-2].strip()}
    return None


def on_screen(screen, text):
    return any(text in line for line in screen)


def box_open(screen):
    """Whether any message box is on the screen."""
    return any(m.group(1) != TITLE for line in screen for m in CAPTIONED_EDGE.finditer(line))


class DialogCase(unittest.TestCase):
    def start(self, files, args):
        self.folder = WindowsFolder(files)
        self.addCleanup(self.folder.close)
        self.term = Terminal(args + [self.folder.windows])
        self.addCleanup(self.term.close)
        return self.term

    def wait_for_dialog(self, face="[ Exit ]"):
        """The dialog showing `face`, with no message box over it.  Keys are
        handled in order: the screen that a key makes shows that every key
        before it has been handled."""
        return self.term.wait_for(
            lambda s: s if on_screen(s, " %s " % TITLE) and on_screen(s, face)
            and not box_open(s) else None, "dialog with %s" % face)

    def wait_for_box(self, caption):
        return self.term.wait_for(lambda s: read_box(s, caption), "%s box" % caption)
