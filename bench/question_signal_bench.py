#!/usr/bin/env python3
"""How soon a SIGTERM at the Yes/No question ends the run.

    python3 bench/question_signal_bench.py TAMRIX [TRIES [SEED]]

Runs `TAMRIX install --windows-dir DIR` on a pseudo-terminal (platform kind
0, so the first thing it does is ask whether to go on), TRIES times (50),
and sends each run a SIGTERM at a random moment between half and one and a
half times the time the question takes to show: before the signal handler
is set, while the prompt is written, and while the answer is awaited.  Prints, for
each run that did not end within a second with status 143 (or by the
signal, when it came before the handler), the delay and what happened; then
the slowest end and the seed.
"""

import os
import pty
import random
import select
import signal
import subprocess
import sys
import tempfile
import time

PROMPT = b"[Yes/No] "


def start(program, folder, slave):
    env = dict(os.environ)
    env.pop("WINDIR", None)
    return subprocess.Popen([program, "install", "--windows-dir", folder], stdin=slave,
                            stdout=slave, stderr=slave, env=env, start_new_session=True)


def drain(master, until, seconds):
    """Reads the terminal for `seconds` or until `until` shows; the text read."""
    text, deadline = b"", time.monotonic() + seconds
    while until not in text and time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.01)
        if ready:
            try:
                text += os.read(master, 4096)
            except OSError:
                break
    return text


def main():
    program = sys.argv[1]
    tries = int(sys.argv[2]) if len(sys.argv) > 2 else 50
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else random.randrange(1 << 30)
    chance = random.Random(seed)
    folder = tempfile.mkdtemp(prefix="tamrix-bench-")
    os.makedirs(os.path.join(folder, "inf"))
    master, slave = pty.openpty()
    shows = []
    for _ in range(5):  # how long the question takes to show
        started = time.monotonic()
        run = start(program, folder, slave)
        drain(master, PROMPT, 10)
        shows.append(time.monotonic() - started)
        run.kill()
        run.wait()
    show = sorted(shows)[len(shows) // 2]
    slowest, bad = 0.0, 0
    for attempt in range(tries):
        delay = chance.uniform(0.5 * show, 1.5 * show)
        run = start(program, folder, slave)
        time.sleep(delay)
        run.send_signal(signal.SIGTERM)
        sent = time.monotonic()
        while run.poll() is None and time.monotonic() - sent < 3:
            drain(master, b"\0", 0.01)
        took = time.monotonic() - sent
        status = run.poll()
        if status is None:
            run.kill()
            run.wait()
        slowest = max(slowest, took)
        if status not in (143, -signal.SIGTERM) or took >= 1:
            bad += 1
            print("try %d: SIGTERM after %.4f s: status %s after %.3f s"
                  % (attempt, delay, status, took))
    drain(master, b"\0", 0.1)
    print("%d of %d runs ended within a second; the question shows after %.4f s; "
          "slowest end %.3f s; seed %d" % (tries - bad, tries, show, slowest, seed))
    os.rmdir(os.path.join(folder, "inf"))
    os.rmdir(folder)
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
