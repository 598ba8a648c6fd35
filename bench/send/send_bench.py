#!/usr/bin/python3
"""Send benchmark: vexlo-cli send of a full 124 x 121 memo to qm10-sim receive, at 19200 and
9600 bit/s.

For each of a few sends at each speed, prints the wall time of the record phase (from the
status line "転送中です" until the tool has ended, the end-of-exchange record gone) over its
line time (the characters of the chain and the end record x 10 bits / speed; target <= 1.02),
and what the sending process cost in that time: CPU time over wall time (target <= 0.3 %) and
how often it woke per second (bench/procmeter.py says how both are read). The sends of one
speed are added up as well, as one send costs only a few milliseconds.
The simulated device runs at a real-time priority where it may (root), so that its line keeps
its speed on a busy machine as real hardware does (procmeter.as_hardware).

    bench/send/send_bench.py [BUILD_DIR] [SENDS] [SPEED...]
"""
import os
import random
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import procmeter  # noqa: E402

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


def send_once(cli, link, image, env, baud):
    """Runs one send; returns (record-phase wall time, its cost)."""
    proc = subprocess.Popen([cli, "send", "--port", link, "--speed", str(baud), image, "--title", "bench",
                             "--reading", "bench", "--yes"], env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    child = procmeter.Child(proc)
    begin, err = child.mark_at("転送中です", timeout=30)
    if begin is None:
        proc.kill()
    end, status = child.finish()
    err += proc.stderr.read()
    if status != 0 or begin is None:
        sys.exit(f"send failed ({status}):\n{err.decode(errors='replace')}")
    return end.wall - begin.wall, procmeter.Cost(begin, end)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    sends = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    speeds = [int(x) for x in sys.argv[3:]] or [19200, 9600]
    sim = os.path.join(build, "tools/qm10sim/qm10-sim")
    cli = os.path.join(build, "tools/cli/vexlo-cli")
    # The device writes what it takes durably before it answers "#"; on a disk that takes
    # longer than the line (fsync), which would count against the record phase. In memory
    # it does not.
    shm = "/dev/shm" if os.path.isdir("/dev/shm") else None
    with tempfile.TemporaryDirectory() as work, tempfile.TemporaryDirectory(dir=shm) as device_out:
        image = os.path.join(work, "memo.bmp")
        write_bmp(image, random.Random(7))
        env = dict(os.environ, XDG_CONFIG_HOME=work)
        chain = subprocess.run([cli, "encode", image, "--title", "bench", "--reading", "bench"], env=env,
                               capture_output=True, text=True, check=True).stdout.split()
        characters = sum(len(r) for r in chain) + len(":000000FF01")
        print(f"characters a send     {characters}")
        for baud in speeds:
            line_time = characters * 10 / baud
            link = os.path.join(work, f"COM-{baud}")
            sim_log = open(os.path.join(work, f"sim-{baud}.log"), "w+")
            device = subprocess.Popen([sim, "receive", "--loop", "--link", link, "--baud", str(baud), "--out",
                                       os.path.join(device_out, f"device-{baud}")], stdout=subprocess.DEVNULL,
                                      stderr=sim_log, preexec_fn=procmeter.as_hardware)
            try:
                for _ in range(200):
                    if os.path.exists(link):
                        break
                    time.sleep(0.025)
                worst_ratio, total = 0.0, None
                for n in range(sends):
                    records, cost = send_once(cli, link, image, env, baud)
                    worst_ratio = max(worst_ratio, records / line_time)
                    total = cost if total is None else total + cost
                    print(f"{baud:5} bit/s send {n + 1}: record phase {records:.3f} s, "
                          f"/ line time {records / line_time:.3f}; {cost.line()}")
                    time.sleep(0.3)  # the device waits for the line to close before the next exchange
                print(f"{baud:5} bit/s, {sends} sends: worst record phase / line time {worst_ratio:.3f} "
                      f"(target <= 1.02); all sends: {total.line()} (target <= 0.3 %)")
            finally:
                device.terminate()
                device.wait(timeout=10)


if __name__ == "__main__":
    main()
