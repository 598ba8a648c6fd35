#!/usr/bin/python3
"""Send benchmark: vexlo-cli send of a full 124 x 121 memo to qm10-sim receive at 19200 bit/s.

For each of a few sends, prints the wall time of the record phase (from the status line
"転送中です" until the tool has ended, the end-of-exchange record gone) over its line time (the
characters of the chain and the end record x 10 bits / 19200; target <= 1.05), and the
sending program's CPU time over its wall time (target <= 2 %).

    bench/send/send_bench.py [BUILD_DIR] [SENDS]
"""
import os
import random
import resource
import selectors
import struct
import subprocess
import sys
import tempfile
import time

BAUD = 19200
WIDTH, HEIGHT = 124, 121


def write_bmp(path, rng):
    """A 24-bit BMP with about a third of its pixels black."""
    row = (WIDTH * 3 + 3) & ~3
    pixels = bytearray()
    for _ in range(HEIGHT):
        line = bytearray()
        for _ in range(WIDTH):
            line += b"\x00\x00\x00" if rng.random() < 0.3 else b"\xff\xff\xff"
        pixels += line + b"\x00" * (row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def send_once(cli, link, image, env):
    """Runs one send; returns (record-phase wall time, whole wall time, CPU time)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    proc = subprocess.Popen([cli, "send", "--port", link, "--speed", str(BAUD), image, "--title", "bench",
                             "--reading", "bench", "--yes"], env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    sel = selectors.DefaultSelector()
    sel.register(proc.stderr, selectors.EVENT_READ)
    err = b""
    records_start = None
    while True:
        if not sel.select(timeout=30):
            proc.kill()
            sys.exit("vexlo-cli send did not finish")
        chunk = os.read(proc.stderr.fileno(), 4096)
        if not chunk:
            break
        err += chunk
        if records_start is None and "転送中です".encode() in err:
            records_start = time.monotonic()
    status = proc.wait()
    end = time.monotonic()
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if status != 0 or records_start is None:
        sys.exit(f"send failed ({status}):\n{err.decode(errors='replace')}")
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return end - records_start, end - start, cpu


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    sends = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    sim = os.path.join(build, "tools/qm10sim/qm10-sim")
    cli = os.path.join(build, "tools/cli/vexlo-cli")
    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "memo.bmp")
        write_bmp(image, random.Random(7))
        env = dict(os.environ, XDG_CONFIG_HOME=work)
        chain = subprocess.run([cli, "encode", image, "--title", "bench", "--reading", "bench"], env=env,
                               capture_output=True, text=True, check=True).stdout.split()
        characters = sum(len(r) for r in chain) + len(":000000FF01")
        line_time = characters * 10 / BAUD

        link = os.path.join(work, "COM1")
        sim_log = open(os.path.join(work, "sim.log"), "w+")
        device = subprocess.Popen([sim, "receive", "--loop", "--link", link, "--baud", str(BAUD), "--out",
                                   os.path.join(work, "device")], stdout=subprocess.DEVNULL, stderr=sim_log)
        try:
            for _ in range(200):
                if os.path.exists(link):
                    break
                time.sleep(0.025)
            print(f"characters a send     {characters}")
            print(f"line time             {line_time:.3f} s")
            worst_ratio, worst_cpu = 0.0, 0.0
            for n in range(sends):
                records, wall, cpu = send_once(cli, link, image, env)
                worst_ratio = max(worst_ratio, records / line_time)
                worst_cpu = max(worst_cpu, 100 * cpu / wall)
                print(f"send {n + 1}: record phase {records:.3f} s, "
                      f"record phase / line time {records / line_time:.3f}, CPU / wall {100 * cpu / wall:.2f} %")
                time.sleep(0.3)  # the device waits for the line to close before the next exchange
            print(f"worst record phase / line time  {worst_ratio:.3f}   (target <= 1.05)")
            print(f"worst CPU / wall time           {worst_cpu:.2f} %  (target <= 2 %)")
        finally:
            device.terminate()
            device.wait(timeout=10)


if __name__ == "__main__":
    main()
