#!/usr/bin/env python3
"""Measures qvz2png on large containers that it makes itself, against the
floor that no carver can beat on the machine at hand (bench/scan_floor.c:
the same bytes mapped in the tool's windows, or read with its preads, each
looked at once), with dd (128 KiB blocks) in a column of its own; and on a
container of many small images against the file-creation floor
(bench/write_floor.c: open, write and close per image), which also shows
what writing the random container's images costs by itself. It checks that
exactly the planted images come out. The random and text containers are
also carved through the read path, with every mapping refused
(bench/no_map.c, preloaded), and through a pipe against cat | dd; and then a
copy of each in every state in which the page cache may come to hold it
(written by cp, evicted and read back by cat, carved cold once by the tool,
half of each, on tmpfs), against the cheaper of the mapped and the read
floor. Run as root, it also carves the random container cold (the page
cache dropped before each run) against dd, at read-ahead 128 KiB, 8192 KiB
and its disk's own, as root and as a user who does not own it, and the same
on a loop device over it where one can be attached; and cold, then again,
with its requests to read ahead and without them (bench/no_ask.c). Every
round is shown.

    python3 bench/carve_bench.py BUILD/qvz2png [--runs N] [--size-mib M]
                                 [--baseline OTHER/qvz2png] [--stderr-tty]

For each container, tool and floor runs alternate; the script prints the
median time of each, the median of the per-pair ratios tool/floor, the
tool's rate, its peak resident set size and the image count. With
--baseline, another build (the one before a change) runs in the same rounds,
and a row of its own follows each of the tool's, so that the two ratios come
from one run. With --stderr-tty, the builds run with standard error on a
pseudo-terminal, as at a console, where the tool keeps its status line.
Inputs are made in a temporary directory (TMPDIR, or --dir) and removed
afterwards; the images are written under /dev/shm (or --out-dir), since
creating hundreds of files on a disk file system can cost more than the
whole scan; the page cache is warmed first for all but the cold rows, so
the other figures are those of a cached file.
"""

import argparse
import contextlib
import functools
import itertools
import os
import pty
import pwd
import random
import shutil
import stat
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

MIB = 1 << 20
GIB = 1 << 30
SIGNATURE = b"\x89PNG\r\n\x1a\n"


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def make_png(rng, size):
    """A valid-looking PNG of about size bytes: IHDR, random IDAT, IEND."""
    header = struct.pack(">IIBBBBB", 64, 64, 8, 2, 0, 0, 0)
    return (SIGNATURE + chunk(b"IHDR", header) + chunk(b"IDAT", rng.randbytes(size))
            + chunk(b"IEND", b""))


class BlockWriter:
    """Writes a file in aligned blocks of the given size, one write call
    each."""

    def __init__(self, path, block):
        self.out = open(path, "wb", buffering=0)
        self.block = block
        self.pending = bytearray()

    def write(self, data):
        self.pending += data
        done = 0
        with memoryview(self.pending) as view:
            while len(self.pending) - done >= self.block:
                self.out.write(view[done:done + self.block])
                done += self.block
        del self.pending[:done]

    def close(self):
        self.out.write(self.pending)
        self.out.close()


def write_random_container(path, size, count, rng):
    """Random filler with count PNGs of tens of KiB spread through it."""
    images = [make_png(rng, rng.randint(10 * 1024, 60 * 1024)) for _ in range(count)]
    filler = size - sum(len(i) for i in images)
    cuts = sorted(rng.randint(0, filler) for _ in range(count))
    out = BlockWriter(path, 8 * MIB)
    last = 0
    for cut, image in zip(cuts, images):
        write_filler(out, cut - last)
        out.write(image)
        last = cut
    write_filler(out, filler - last)
    out.close()
    return images


def write_small_container(path, index_path, count, rng):
    """count PNGs with IDATs of 20-200 bytes, random gaps between them; the
    index lists each image's offset and length, for the floor."""
    images, offsets = [], []
    data = bytearray()
    for _ in range(count):
        data += rng.randbytes(rng.randint(0, 100))
        offsets.append(len(data))
        images.append(make_png(rng, rng.randint(20, 200)))
        data += images[-1]
    with open(path, "wb") as out:
        out.write(data)
    with open(index_path, "w") as out:
        out.writelines("%d %d\n" % (o, len(i)) for o, i in zip(offsets, images))
    return images


def images_alone(floor, planted, runs, work, out_root, scan_floor_s):
    """What creating and writing the planted images costs by itself: the
    write floor over them, laid end to end in a file of their own, less the
    same run with nothing to write (its start and the file's reading in),
    in the same rounds. Shown beside the scan floor, which leaves writing
    out."""
    blob, index, empty = (os.path.join(work, "planted" + e) for e in (".bin", ".idx", ".none"))
    with open(blob, "wb") as out:
        out.write(b"".join(planted))
    offsets = itertools.accumulate([0] + [len(i) for i in planted[:-1]])
    with open(index, "w") as out:
        out.writelines("%d %d\n" % (o, len(i)) for o, i in zip(offsets, planted))
    open(empty, "w").close()
    alone = []
    for _ in range(3 * runs):  # a difference of two short runs: more rounds to steady it
        with_images = timed([floor, blob, index], fresh_dir(os.path.join(out_root, "alone")))[0]
        without = timed([floor, blob, empty], fresh_dir(os.path.join(out_root, "alone")))[0]
        alone.append(with_images - without)
    shutil.rmtree(os.path.join(out_root, "alone"))
    for path in (blob, index, empty):
        os.remove(path)
    print("             the %d images alone (write_floor): median %.4f s, %.2f of the scan"
          " floor; rounds %s" % (len(planted), statistics.median(alone),
                                 statistics.median(alone) / scan_floor_s,
                                 " ".join("%.4f" % t for t in alone)))


def compiled(work, source, output, flags, libraries=()):
    """bench/SOURCE compiled into work/OUTPUT; its path."""
    built = os.path.join(work, output)
    here = os.path.dirname(os.path.abspath(__file__))
    subprocess.run(["cc"] + flags + ["-o", built, os.path.join(here, source)] + list(libraries),
                   check=True)
    return built


def build_floor(work):
    return compiled(work, "write_floor.c", "write_floor", ["-O2"])


def build_scan_floor(work):
    """The floor of the cached rows: the same bytes mapped in the tool's
    windows, or read with its preads, and each looked at once."""
    floor = compiled(work, "scan_floor.c", "scan_floor", ["-O3"])
    return lambda how, path: [floor, how, path]


def build_shim(work, name):
    """A shim preloaded into the tool: no_map refuses it every mapping of
    its container, no_ask every request to read ahead."""
    return compiled(work, name + ".c", name + ".so", ["-O2", "-shared", "-fPIC"], ["-ldl"])


def preloaded(shim):
    """The tool with a shim: with no_map, reading a regular file through its
    buffer, as it reads anything on Windows."""
    return lambda tool, path: ["env", "LD_PRELOAD=" + shim, tool, path]


def piped(tool, path):
    return ["sh", "-c", 'cat "$2" | "$1" /dev/stdin', "sh", tool, path]


def pipe_floor(path):
    """What a pipe costs on its own: cat into it, dd out of it."""
    return ["sh", "-c", 'cat "$1" | dd of=/dev/null bs=128k', "sh", path]


def write_filler(out, size):
    while size > 0:
        block = os.urandom(min(size, 8 * MIB))
        out.write(block)
        size -= len(block)


def write_text_container(path, size, rng):
    """Printable text with line breaks; no byte 137 anywhere."""
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(2000)]
    block = bytearray()
    while len(block) < 4 * MIB:
        line = b" ".join(rng.choice(words) for _ in range(rng.randint(5, 14)))
        block += line.capitalize() + b".\n"
    out = BlockWriter(path, 8 * MIB)
    written = 0
    while written < size:
        part = bytes(block[: size - written])
        out.write(part)
        written += len(part)
    out.close()


def write_sparse_container(path, size, image):
    """A hole of size bytes with image written shortly before its end."""
    with open(path, "wb") as out:
        out.truncate(size)
        out.seek(size - len(image) - 4096)
        out.write(image)


def evict(path, start=0):
    """Drops the file's pages from start on out of the page cache, written
    back first: what any owner of a file may do, root or not."""
    fd = os.open(path, os.O_RDONLY)
    try:
        os.fsync(fd)
        os.posix_fadvise(fd, start, 0, os.POSIX_FADV_DONTNEED)
    finally:
        os.close(fd)


def read_back(path, start=0):
    """Reads the file from start to its end as cat does, bringing it back
    into the page cache as a program reading it would."""
    subprocess.run(["sh", "-c", 'tail -c +"$2" "$1" >/dev/null', "sh", path, str(start + 1)],
                   check=True)


def cache_states(path, tool, queue, shm):
    """The ways a container comes into the page cache, as (name, make): make
    puts a fresh copy of path into that state and returns the copy's path.
    What the page cache holds it in (pages or large folios) differs with
    each, and so does what mapping it costs."""
    copy = path + ".copy"

    def copied(to=copy):
        if os.path.exists(to):
            os.remove(to)
        subprocess.run(["cp", path, to], check=True)
        return to

    def read_back_at(kb):
        def make():
            evict(copied())
            with read_ahead(queue, kb) if queue else contextlib.nullcontext():
                read_back(copy)
            return copy
        return make

    def after_a_cold_run():
        evict(copied())
        out = fresh_dir(copy + ".out")
        subprocess.run([tool, copy], cwd=out, stdout=subprocess.DEVNULL, check=True)
        shutil.rmtree(out)
        return copy

    def half_read_back():
        half = os.path.getsize(path) // 2 // MIB * MIB
        evict(copied(), half)
        read_back(copy, half)
        return copy

    own = None
    if queue:
        with open(queue) as f:
            own = int(f.read())
    states = [("cp", copied)]
    states.append(("cat ra %s" % (own or "own"), read_back_at(None)))
    if queue and os.geteuid() == 0 and own != 128:
        states.append(("cat ra 128", read_back_at(128)))
    states += [("cold run, again", after_a_cold_run), ("cp half, cat", half_read_back)]
    if shm:
        states.append(("tmpfs", lambda: copied(os.path.join(shm, os.path.basename(copy)))))
    return states


def cached_state_rows(run_rows, name, path, planted, runs, out_root, scan_floor, tool, goal):
    """The container in each state of cache_states, each against the cheaper
    of its two floors (mapped, read) in each round. Returns the goals."""
    shm = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    queue = queue_of(path)
    if queue and not os.access(queue, os.W_OK):
        queue = None
    goals = []
    for state, make in cache_states(path, tool, queue, shm):
        copy = make()
        try:
            row = run_rows("%s %s" % (name, state), copy, planted, runs, out_root,
                           [scan_floor("map", copy), scan_floor("read", copy)])
        finally:
            os.remove(copy)
        goals.append(("%s %s %.2f <= %.2f" % (name, state, row["ratio"], goal),
                      row["ratio"] <= goal))
        goals.append(("%s %s byte-equal" % (name, state), row["ok"]))
    return goals


def warm(path):
    with open(path, "rb") as f:
        while f.read(8 * MIB):
            pass


def console_stderr():
    """A pseudo-terminal for the tool's standard error, as a console would
    be, with what reaches it read and dropped."""
    master, slave = pty.openpty()

    def drain():
        while True:
            try:
                if not os.read(master, 65536):
                    return
            except OSError:
                return

    threading.Thread(target=drain, daemon=True).start()
    return slave


def rounds_of(times):
    return " ".join("%.2f" % t for t in times)


def timed(argv, cwd, stderr=subprocess.DEVNULL):
    """Wall seconds and peak RSS in KiB of one run; fails on a bad status.
    GNU time measures the RSS: a child of this script would inherit the
    script's own high-water mark."""
    rss_file = os.path.join(cwd, "..", "rss.txt")
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + argv, cwd=cwd,
                          stdout=subprocess.PIPE, stderr=stderr)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit("%s exited with %d" % (argv[0], proc.returncode))
    with open(rss_file) as f:
        rss = int(f.read().split()[-1])
    return elapsed, rss, proc.stdout


def check_images(out_dir, planted, report):
    names = sorted((n for n in os.listdir(out_dir) if n.startswith("DMP")), key=lambda n: int(n[3:-4]))
    found = [open(os.path.join(out_dir, n), "rb").read() for n in names]
    summary = report.decode().strip().splitlines()[-1]
    ok = found == planted
    return ok, len(found), summary


def carve_checked(argv, out_dir, planted):
    """Seconds of one run that writes its images to out_dir, which is then
    removed, and whether they were exactly the planted ones."""
    seconds, _, report = timed(argv, out_dir)
    ok = check_images(out_dir, planted, report)[0]
    shutil.rmtree(out_dir)
    return seconds, ok


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.mkdir(path)
    return path


def dd_of(path):
    return ["dd", "if=" + path, "of=/dev/null", "bs=128k"]


def measure(tools, name, path, planted, runs, work, floor=None, command=None,
            stderr=subprocess.DEVNULL, with_dd=False):
    """tools: the tool, and the baseline build when there is one, each run
    once a round. work: the directory where they run and write their images.
    floor: the command they are measured against (default: dd reading the
    container), run in a directory of its own, emptied before each run; or
    a list of such commands, each run every round, the quickest of them the
    round's floor.
    command: how a tool is run on the container (default: given its path).
    stderr: the tools' standard error. with_dd: dd reading the container
    runs in the same rounds too, and its time and the tool's ratio to it are
    shown beside the floor's. Returns the figures of the first tool."""
    warm(path)
    size = os.path.getsize(path)
    floors = floor if floor and isinstance(floor[0], list) else [floor or dd_of(path)]
    references = floors + ([dd_of(path)] if with_dd else [])
    runs_of = [{"times": [], "ratios": [], "dd_ratios": [], "rss": 0, "ok": True, "count": 0,
                "summary": ""} for _ in tools]
    ref_times = [[] for _ in references]
    floor_times = []
    for _ in range(runs):
        timings = []
        for tool, of in zip(tools, runs_of):
            out_dir = fresh_dir(os.path.join(work, "out"))
            argv = command(tool, path) if command else [tool, path]
            t_tool, peak, report = timed(argv, out_dir, stderr)
            ok, of["count"], of["summary"] = check_images(out_dir, planted, report)
            shutil.rmtree(out_dir)
            of["ok"] &= ok
            of["times"].append(t_tool)
            of["rss"] = max(of["rss"], peak)
            timings.append(t_tool)
        for reference, times in zip(references, ref_times):
            t_ref, _, _ = timed(reference, fresh_dir(os.path.join(work, "floor")))
            shutil.rmtree(os.path.join(work, "floor"))
            times.append(t_ref)
        floor_time = min(times[-1] for times in ref_times[:len(floors)])
        floor_times.append(floor_time)
        for t_tool, of in zip(timings, runs_of):
            of["ratios"].append(t_tool / floor_time)
            if with_dd:
                of["dd_ratios"].append(t_tool / ref_times[-1][-1])
    shutil.rmtree(os.path.join(work, "out"), ignore_errors=True)
    for label, of in zip((name, "  before"), runs_of):
        t_tool = statistics.median(of["times"])
        of["ratio"] = statistics.median(of["ratios"])
        dd_column = ("  dd %6.3f s  ratio %5.2f" % (statistics.median(ref_times[-1]),
                                                     statistics.median(of["dd_ratios"]))
                     if with_dd else "")
        print("%-12s %7.0f MiB  tool %6.3f s  floor %6.3f s  ratio %5.2f%s  %5.2f GB/s"
              "  rss %5.1f MiB  images %6d  %s"
              % (label, size / MIB, t_tool, statistics.median(floor_times), of["ratio"],
                 dd_column, size / t_tool / 1e9, of["rss"] / 1024, of["count"],
                 "planted images byte-equal" if of["ok"] else "MISMATCH"))
        print("             rounds: tool %s; tool/floor %s"
              % (" ".join("%.3f" % t for t in of["times"]),
                 rounds_of(of["ratios"])))
    if len(floors) > 1:
        print("             floors (map, read): %s"
              % "; ".join(" ".join("%.3f" % t for t in times)
                          for times in ref_times[:len(floors)]))
    print("             " + runs_of[0]["summary"])
    first = runs_of[0]
    return {"ok": first["ok"], "summary": first["summary"], "ratio": first["ratio"],
            "rss_mib": first["rss"] / 1024, "floor_s": statistics.median(floor_times)}


# Linux hands memory that has lain free for 2 s back to the host of a
# virtual machine that asks for it (free page reporting), and using it again
# then waits on the host. Memory freed a moment ago, as dropping the page
# cache leaves it, is not handed back yet: on the virtual machines these
# figures come from, dd read a cold file at once after the drop three times
# as fast as 2 s or more after it, the difference all time in the kernel.
# A user's container is mostly read into memory that has been free longer,
# so the cold rows are run both ways: at once, and this long after the drop.
SETTLE_S = 5


def drop_page_cache(settle_s=0):
    subprocess.run(["sync"], check=True)
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3\n")
    time.sleep(settle_s)


def queue_of(path):
    """The read_ahead_kb file of the disk that holds path, or of path itself
    where it is a disk; None where there is none (tmpfs, overlay)."""
    st = os.stat(path)
    dev = st.st_rdev if stat.S_ISBLK(st.st_mode) else st.st_dev
    node = os.path.realpath("/sys/dev/block/%d:%d" % (os.major(dev), os.minor(dev)))
    if os.path.exists(os.path.join(node, "partition")):
        node = os.path.dirname(node)
    queue = os.path.join(node, "queue", "read_ahead_kb")
    return queue if os.path.exists(queue) else None


def cold_queue(path):
    """queue_of(path) where this run may drop the page cache and set the
    read-ahead (as root); None where the cold rows cannot run."""
    return queue_of(path) if os.geteuid() == 0 else None


def cold_rounds(tools, name, path, planted, runs, work, user=None, settle_s=0):
    """The tools and dd (128 KiB blocks) on the container with the page cache
    dropped settle_s before each run, alternating; every round is shown,
    since a virtual machine's disk and memory have slow runs whatever reads
    them. With user, each runs as that user (a name), in a folder of the
    user's."""
    as_user = []
    if user is not None:
        entry = pwd.getpwnam(user)
        as_user = ["setpriv", "--reuid=%d" % entry.pw_uid, "--regid=%d" % entry.pw_gid,
                   "--clear-groups", "--"]

    def own_dir(name):
        folder = fresh_dir(os.path.join(work, name))
        if user is not None:
            os.chown(folder, entry.pw_uid, entry.pw_gid)
        return folder

    times = [[] for _ in tools] + [[]]
    ok = True
    for _ in range(runs):
        for tool, own in zip(tools, times):
            out_dir = own_dir("out")
            drop_page_cache(settle_s)
            t_tool, carved = carve_checked(as_user + [tool, path], out_dir, planted)
            ok &= carved
            own.append(t_tool)
        drop_page_cache(settle_s)
        times[-1].append(timed(as_user + dd_of(path), own_dir("floor"))[0])
    dd = times[-1]
    ratios = [statistics.median(t / d for t, d in zip(own, dd)) for own in times[:-1]]
    for label, own, ratio in zip((name, "  before"), times, ratios):
        print("%-22s median %6.3f s  ratio %5.2f  rounds %s"
              % (label, statistics.median(own), ratio, rounds_of(own)))
    print("%-22s median %6.3f s               rounds %s"
          % ("  dd", statistics.median(dd), rounds_of(dd)))
    return ok, ratios[0]


@contextlib.contextmanager
def read_ahead(queue, kb):
    """The disk's read-ahead set to kb KiB (None: left as it is), and put
    back after."""
    with open(queue) as f:
        before = int(f.read())
    try:
        if kb is not None:
            with open(queue, "w") as f:
                f.write(str(kb))
        yield
    finally:
        with open(queue, "w") as f:
            f.write(str(before))


def cold_rows(tools, path, planted, runs, work):
    """Root only: the container cold, at read-ahead 128 KiB, 8192 KiB and
    its disk's own, run by root, which owns it, and by nobody, who does not
    (the system tells only the owner truthfully which pages mincore finds in
    memory), each both at once after the page cache is dropped and settled
    (SETTLE_S after); then on a loop device over it (direct I/O, so that the
    loop device reads ahead as a disk does) where one can be attached. Each
    read-ahead is put back. Returns the goals."""
    queue = cold_queue(path)
    if queue is None:
        print("cold rows skipped: they need root and a disk under the container")
        return []
    goals, ok = [], True
    with open(queue) as f:
        own = int(f.read())
    os.chmod(os.path.dirname(path), 0o755)
    os.chmod(work, 0o755)
    loop = subprocess.run(["losetup", "-f", "--show", "-r", "--direct-io=on", path],
                          capture_output=True, text=True)
    devices = [("file", path, queue, 1.10, None), ("file", path, queue, 1.10, "nobody")]
    if loop.returncode == 0:
        device = loop.stdout.strip()
        devices.append(("loop", device, queue_of(device), 1.00, None))
    try:
        for kind, target, ra_file, goal, user in devices:
            with open(ra_file) as f:
                before = int(f.read())
            for ra in sorted({128, before} if kind == "loop" else {128, 8192, own}):
                for settle_s in (0, SETTLE_S) if kind == "file" else (0,):
                    row = "cold %s ra %d KiB%s%s" % (kind, ra, " as %s" % user if user else "",
                                                 ", settled" if settle_s else "")
                    with read_ahead(ra_file, ra):
                        row_ok, ratio = cold_rounds(tools, row, target, planted, runs, work,
                                                    user, settle_s)
                    ok &= row_ok
                    goals.append(("%s %.2f <= %.2f" % (row, ratio, goal), ratio <= goal))
    finally:
        if loop.returncode == 0:
            subprocess.run(["losetup", "-d", devices[-1][1]], check=False)
    goals.append(("cold images byte-equal", ok))
    return goals


def asked_ahead_rows(tool, path, planted, runs, work):
    """Root only, no goal: what the tool's requests to read ahead leave in
    the page cache. Each round drops the page cache, carves the container
    cold, then carves it again, once as the tool is and once with every
    request refused (bench/no_ask.c), at read-ahead 128 KiB and 8192 KiB.
    The system reads what is asked ahead into small pages, and what its own
    read-ahead reads into pages as large as that read-ahead allows: the
    second run maps large pages at a third of the cost of small ones."""
    queue = cold_queue(path)
    if queue is None:
        return True
    no_ask = preloaded(build_shim(work, "no_ask"))
    ok = True
    for ra in (128, 8192):
        rows = {"asking": [[], []], "not asking": [[], []]}
        with read_ahead(queue, ra):
            for _ in range(runs):
                for label, cold_run in (("asking", [tool, path]),
                                        ("not asking", no_ask(tool, path))):
                    drop_page_cache()
                    for times, argv in zip(rows[label], (cold_run, [tool, path])):
                        seconds, carved = carve_checked(
                            argv, fresh_dir(os.path.join(work, "out")), planted)
                        ok &= carved
                        times.append(seconds)
        for label, (cold, again) in rows.items():
            print("ra %4d KiB, %-10s  cold median %6.3f s, rounds %s; again median %6.3f s,"
                  " rounds %s" % (ra, label, statistics.median(cold), rounds_of(cold),
                                 statistics.median(again), rounds_of(again)))
    return ok


def verdict(met):
    return "met" if met else "MISSED"


def kernel_in_use():
    """The scan kernel the tool picks on this processor, as it picks it."""
    machine = os.uname().machine
    if machine in ("aarch64", "arm64"):
        return "neon"
    if machine not in ("x86_64", "AMD64"):
        return "portable"
    flags = set()
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("flags"):
                flags = set(line.split(":", 1)[1].split())
                break
    return "avx2" if "avx2" in flags else "sse2"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("--baseline", default=None,
                        help="another build, measured in the same rounds for comparison")
    parser.add_argument("--stderr-tty", action="store_true",
                        help="run the builds with standard error on a pseudo-terminal")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--size-mib", type=int, default=1024)
    parser.add_argument("--sparse-gib", type=int, default=5)
    parser.add_argument("--small-images", type=int, default=100000)
    parser.add_argument("--dir", default=None, help="where the inputs go (default: TMPDIR)")
    parser.add_argument("--out-dir", default="/dev/shm" if os.access("/dev/shm", os.W_OK) else None,
                        help="where the tool writes its images (default: /dev/shm, a RAM disk, "
                        "so that the figures are the tool's and not the file system's)")
    args = parser.parse_args()
    if not os.path.exists("/usr/bin/time"):
        sys.exit("needs GNU time: apt-get install time")
    tools = [os.path.abspath(args.tool)]
    if args.baseline:
        tools.append(os.path.abspath(args.baseline))
    stderr = console_stderr() if args.stderr_tty else subprocess.DEVNULL
    run_rows = functools.partial(measure, tools, stderr=stderr)
    rng = random.Random(137)
    size = args.size_mib * MIB
    work = tempfile.mkdtemp(prefix="qvz2png-bench-", dir=args.dir)
    out_root = tempfile.mkdtemp(prefix="qvz2png-bench-out-", dir=args.out_dir)
    all_ok = True
    try:
        print("inputs in %s, images to %s; %d alternating runs each; medians; kernel %s%s"
              % (work, out_root, args.runs, kernel_in_use(),
                 "; standard error a terminal" if args.stderr_tty else ""))
        read_path = preloaded(build_shim(work, "no_map"))
        scan_floor = build_scan_floor(work)
        write_floor = build_floor(work)
        mapped_rows = functools.partial(run_rows, with_dd=True)
        path = os.path.join(work, "random.bin")
        planted = write_random_container(path, size, 300, rng)
        random_run = mapped_rows("random", path, planted, args.runs, out_root,
                                 scan_floor("map", path))
        images_alone(write_floor, planted, args.runs, work, out_root,
                     random_run["floor_s"])
        # The same, with the images written beside the container.
        random_disk = mapped_rows("random*", path, planted, args.runs, work,
                                  scan_floor("map", path))
        # Read through the buffer (mapping refused), and through a pipe.
        random_read = mapped_rows("random read", path, planted, args.runs, out_root,
                                  scan_floor("read", path), command=read_path)
        random_pipe = run_rows("random pipe", path, planted, args.runs, out_root,
                               floor=pipe_floor(path), command=piped)
        cold_goals = cold_rows(tools, path, planted, args.runs, out_root)
        cold_goals.append(("asked ahead byte-equal",
                           asked_ahead_rows(tools[0], path, planted, args.runs, out_root)))
        state_goals = cached_state_rows(run_rows, "random", path, planted, args.runs, out_root,
                                        scan_floor, tools[0], 1.20)
        os.remove(path)

        path = os.path.join(work, "text.bin")
        write_text_container(path, size, rng)
        text_run = mapped_rows("text", path, [], args.runs, out_root, scan_floor("map", path))
        text_read = mapped_rows("text read", path, [], args.runs, out_root,
                                scan_floor("read", path), command=read_path)
        text_pipe = run_rows("text pipe", path, [], args.runs, out_root, floor=pipe_floor(path),
                             command=piped)
        state_goals += cached_state_rows(run_rows, "text", path, [], args.runs, out_root,
                                         scan_floor, tools[0], 1.10)
        os.remove(path)

        path = os.path.join(work, "sparse.bin")
        sparse_size = args.sparse_gib * GIB
        image = make_png(rng, 30 * 1024)
        write_sparse_container(path, sparse_size, image)
        sparse_run = mapped_rows("sparse", path, [image], max(3, args.runs // 2), out_root,
                                 scan_floor("map", path))
        expected = "testcount:%d." % (sparse_size - len(image) + 2)
        if not sparse_run["summary"].endswith(expected):
            print("             expected " + expected)
            sparse_run["ok"] = False

        path = os.path.join(work, "small.bin")
        index = os.path.join(work, "small.idx")
        planted = write_small_container(path, index, args.small_images, rng)
        small_run = run_rows("small", path, planted, args.runs, out_root,
                            [write_floor, path, index])
        os.remove(path)

        runs = (random_run, random_disk, random_read, random_pipe, text_run, text_read, text_pipe,
                sparse_run, small_run)
        all_ok = (all(r["ok"] for r in runs)
                  and all(met for text, met in state_goals + cold_goals
                          if text.endswith("byte-equal")))
        peak = max(r["rss_mib"] for r in runs)
        print("floor: scan_floor looking at each byte once, mapped in the tool's windows or,"
              " for the read rows, read with its preads; for the pipe rows, cat into a pipe and"
              " dd out of it; for small, write_floor creating the same files; dd: dd bs=128k")
        print("read rows: mapping refused, the container read through the buffer; rows named"
              " for a state (cp, cat ra N, cold run, again, cp half, cat, tmpfs): a copy of the"
              " container brought into the page cache that way, against the cheaper of the"
              " mapped and the read floor in each round")
        print("random* writes its images beside the container, the others to %s; it has no"
              " goal, since creating files there costs what the file system asks" % out_root)
        goals = [
            ("random %.2f <= 1.30" % random_run["ratio"], random_run["ratio"] <= 1.30),
            ("text %.2f <= 1.15" % text_run["ratio"], text_run["ratio"] <= 1.15),
            ("random read %.2f <= 1.30" % random_read["ratio"], random_read["ratio"] <= 1.30),
            ("text read %.2f <= 1.15" % text_read["ratio"], text_read["ratio"] <= 1.15),
            ("peak RSS %.1f MiB <= 8" % peak, peak <= 8),
            ("sparse testcount exact", sparse_run["ok"]),
            ("small %.2f <= 1.10" % small_run["ratio"], small_run["ratio"] <= 1.10),
            ("random pipe %.2f <= 1.10" % random_pipe["ratio"], random_pipe["ratio"] <= 1.10),
            ("text pipe %.2f <= 1.10" % text_pipe["ratio"], text_pipe["ratio"] <= 1.10),
        ] + state_goals + cold_goals
        print("goals: " + "; ".join("%s %s" % (text, verdict(met)) for text, met in goals))
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(out_root, ignore_errors=True)
    sys.exit(0 if all_ok else 1)


if __name__ == "__main__":
    main()
