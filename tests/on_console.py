#!/usr/bin/env python3
"""Runs a shell command with its standard output and error on a pseudo-
terminal of 80 columns, as a person's console, and writes what reached the
terminal (RAW) and the screen a terminal emulator shows at the end (SCREEN,
its lines without trailing blanks, down to the last one written). Exits with
the command's status, or 124 when it is still running after two minutes
(then all it started is killed).

    on_console.py [--narrow-after S [--narrow-to N]] [--controlling]
                  [--suspend-after S] RAW SCREEN COMMAND

--narrow-after: the terminal is narrowed to N columns (20 unless said) S
seconds in, as a person narrows a window. --controlling: the terminal is the
command's controlling terminal, with job control, as a login shell's is;
otherwise the command has none, as under a test runner. --suspend-after:
the command is typed at an interactive shell on the terminal, stopped with
Ctrl-Z S seconds in, sent on in the background with bg, and waited for.
"""

import argparse
import fcntl
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
DEADLINE_SECONDS = 120


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--narrow-after", type=float, default=None)
    parser.add_argument("--narrow-to", type=int, default=20)
    parser.add_argument("--controlling", action="store_true")
    parser.add_argument("--suspend-after", type=float, default=None)
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

    typed = args.suspend_after is not None
    controlling = args.controlling or typed
    child = subprocess.Popen(["sh", "-i"] if typed else ["sh", "-c", args.command],
                             stdin=slave if typed else subprocess.DEVNULL, stdout=slave,
                             stderr=slave, start_new_session=not controlling,
                             preexec_fn=take_terminal if controlling else None)
    os.close(slave)
    raw = b""
    narrowed_at = None  # how much had reached the terminal then
    started = time.monotonic()
    deadline = started + DEADLINE_SECONDS

    def narrow():
        nonlocal narrowed_at
        fcntl.ioctl(master, termios.TIOCSWINSZ, struct.pack("HHHH", LINES, args.narrow_to, 0, 0))
        narrowed_at = len(raw)

    def typing(keys):
        return lambda: os.write(master, keys)

    # What happens when, in seconds from the start: a person's doing.
    events = []
    if args.narrow_after is not None:
        events.append((args.narrow_after, narrow))
    if typed:
        events += [(0, typing(args.command.encode() + b"\n")),
                   (args.suspend_after, typing(b"\x1a")),
                   (args.suspend_after + 0.5, typing(b"bg\n")),
                   (args.suspend_after + 1, typing(b"wait; exit\n"))]
    events = sorted((started + at, n, act) for n, (at, act) in enumerate(events))
    while True:
        now = time.monotonic()
        while events and now >= events[0][0]:
            events.pop(0)[2]()
        if now >= deadline:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            sys.exit(124)
        wake = min(events[0][0], deadline) if events else deadline
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
        screen.resize(LINES, args.narrow_to)
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
