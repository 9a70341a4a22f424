#!/usr/bin/env python3
"""Runs a shell command with its standard output and error on a pseudo-
terminal of 80 columns, as a person's console, and writes what reached the
terminal (RAW) and the screen a terminal emulator shows at the end (SCREEN,
its lines without trailing blanks, down to the last one written). Exits with
the command's status, or 124 when it is still running after two minutes
(then all it started is killed).

    on_console.py [--narrow-after S] [--controlling] RAW SCREEN COMMAND

--narrow-after: the terminal is narrowed to 20 columns S seconds in, as a
person narrows a window. --controlling: the terminal is the command's
controlling terminal, with job control, as a login shell's is; otherwise
the command has none, as under a test runner.
"""

import argparse
import fcntl
import math
import os
import pty
import select
import signal
import struct
import subprocess
import sys
import termios
import time

import pyte

COLUMNS, LINES = 80, 24
NARROW = 20
DEADLINE_SECONDS = 120


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--narrow-after", type=float, default=None)
    parser.add_argument("--controlling", action="store_true")
    parser.add_argument("raw_path")
    parser.add_argument("screen_path")
    parser.add_argument("command")
    args = parser.parse_args()
    master, slave = pty.openpty()
    os.set_blocking(slave, True)
    # The size a console window reports, as a real one would.
    subprocess.run(["stty", "cols", str(COLUMNS), "rows", str(LINES)], stdin=slave, check=True)

    def take_terminal():
        os.setsid()
        fcntl.ioctl(1, termios.TIOCSCTTY, 0)  # standard output is the terminal

    child = subprocess.Popen(["sh", "-c", args.command], stdin=subprocess.DEVNULL, stdout=slave,
                             stderr=slave, start_new_session=not args.controlling,
                             preexec_fn=take_terminal if args.controlling else None)
    os.close(slave)
    raw = b""
    narrowed_at = None  # how much had reached the terminal then
    started = time.monotonic()
    deadline = started + DEADLINE_SECONDS
    narrow_at = math.inf if args.narrow_after is None else started + args.narrow_after
    while True:
        now = time.monotonic()
        if narrowed_at is None and now >= narrow_at:
            fcntl.ioctl(master, termios.TIOCSWINSZ, struct.pack("HHHH", LINES, NARROW, 0, 0))
            narrowed_at = len(raw)
        if now >= deadline:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            sys.exit(124)
        wake = min(narrow_at, deadline) if narrowed_at is None else deadline
        if not select.select([master], [], [], wake - now)[0]:
            continue
        try:
            got = os.read(master, 65536)
        except OSError:  # the last holder of the terminal has gone
            break
        if not got:
            break
        raw += got
    status = child.wait()
    screen = pyte.Screen(COLUMNS, LINES)
    stream = pyte.ByteStream(screen)
    cut = len(raw) if narrowed_at is None else narrowed_at
    stream.feed(raw[:cut])
    if narrowed_at is not None:
        screen.resize(LINES, NARROW)
    stream.feed(raw[cut:])
    lines = [line.rstrip() for line in screen.display]
    while lines and not lines[-1]:
        lines.pop()
    with open(args.raw_path, "wb") as out:
        out.write(raw)
    with open(args.screen_path, "w") as out:
        out.write("".join(line + "\n" for line in lines))
    sys.exit(status)


if __name__ == "__main__":
    main()
