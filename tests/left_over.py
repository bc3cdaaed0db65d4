"""The processes a test run left running.

A run marks every process it starts with a variable in the environment,
which each process hands on to what it starts in turn.  The mark stays where
a process group or a parent would not: in a session of its own (a tmux pane,
a run a test starts apart) and after the parent has gone to init.  The
processes of the run are those that still carry the mark; a zombie, whose
environment reads empty, is not one of them.

As a program, `python3 tests/left_over.py NAME` ends what the run marked by
NAME (as this program's environment holds it) left running, other than this
program and the shells it runs under: it names each one on standard error,
kills it, and prints how many there were.
"""

import os
import signal
import sys
import time


def marked(name, value, ours=()):
    """The live processes whose environment holds name=value, other than
    `ours`: pid -> command line."""
    mark = ("%s=%s" % (name, value)).encode()
    found = {}
    for entry in filter(str.isdigit, os.listdir("/proc")):
        if int(entry) in ours:
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if mark not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                found[int(entry)] = f.read().replace(b"\0", b" ").decode("latin-1").strip()
        except OSError:
            continue  # gone, or not ours to read
    return found


def _wait_until_gone(name, value, ours, seconds):
    deadline = time.monotonic() + seconds
    while True:
        left = marked(name, value, ours)
        for pid in left:  # a child of this process ends only once collected
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass
        if not left or time.monotonic() > deadline:
            return left
        time.sleep(0.05)


def end_left_over(name, value, ours=(), seconds=10):
    """Gives the marked processes `seconds` to end (a sanitized build checks
    for leaks on its way out), then kills what is left, each one's whole
    process group unless it is this process's own, and waits until they are
    gone.  Returns what was left, as "pid: command line"."""
    left = _wait_until_gone(name, value, ours, seconds)
    for pid in left:
        try:
            group = os.getpgid(pid)
            if group != os.getpgrp():
                os.killpg(group, signal.SIGKILL)
            else:
                os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    _wait_until_gone(name, value, ours, seconds)
    return ["%d: %s" % item for item in sorted(left.items())]


def _this_and_its_shells():
    ours, pid = set(), os.getpid()
    while pid > 1:
        ours.add(pid)
        with open("/proc/%d/stat" % pid) as f:
            pid = int(f.read().rsplit(")", 1)[1].split()[1])
    return ours


if __name__ == "__main__":
    name = sys.argv[1]
    left = end_left_over(name, os.environ[name], _this_and_its_shells(), seconds=5)
    for line in left:
        print("left running: " + line, file=sys.stderr)
    print(len(left))
