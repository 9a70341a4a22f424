#!/usr/bin/env python3
"""Runs a shell command with its standard output and error on a pseudo-
terminal of 80 columns, as a person's console, and writes what reached the
terminal (RAW) and the screen a terminal emulator shows at the end (SCREEN,
its lines without trailing blanks, down to the last one written). Exits with
the command's status, or 124 when it is still running after two minutes
(then all it started is killed).

    on_console.py RAW SCREEN COMMAND
"""

import os
import pty
import select
import signal
import subprocess
import sys
import time

import pyte

COLUMNS, LINES = 80, 24
DEADLINE_SECONDS = 120


def main():
    raw_path, screen_path, command = sys.argv[1:4]
    master, slave = pty.openpty()
    os.set_blocking(slave, True)
    # The size a console window reports, as a real one would.
    subprocess.run(["stty", "cols", str(COLUMNS), "rows", str(LINES)], stdin=slave, check=True)
    child = subprocess.Popen(["sh", "-c", command], stdin=subprocess.DEVNULL, stdout=slave,
                             stderr=slave, start_new_session=True)
    os.close(slave)
    raw = b""
    deadline = time.monotonic() + DEADLINE_SECONDS
    while True:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([master], [], [], left)[0]:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            sys.exit(124)
        try:
            got = os.read(master, 65536)
        except OSError:  # the last holder of the terminal has gone
            break
        if not got:
            break
        raw += got
    status = child.wait()
    screen = pyte.Screen(COLUMNS, LINES)
    pyte.ByteStream(screen).feed(raw)
    lines = [line.rstrip() for line in screen.display]
    while lines and not lines[-1]:
        lines.pop()
    with open(raw_path, "wb") as out:
        out.write(raw)
    with open(screen_path, "w") as out:
        out.write("".join(line + "\n" for line in lines))
    sys.exit(status)


if __name__ == "__main__":
    main()
