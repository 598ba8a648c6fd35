#!/usr/bin/python3
"""Receive benchmark: vexlo-cli receive of 20 memos of 124 x 121 from qm10-sim, at 19200 and
9600 bit/s.

For each speed prints, for the record phase (from the receiving program's status line
"受信中です", once it has answered the device's call, until it has ended): its wall time over the
line time (the bytes the device sent x 10 bits / speed; target <= 1.02), and what the process
cost in that time: CPU time over wall time (target <= 0.3 %) and how often it woke per second
(bench/procmeter.py says how both are read).
The simulated device runs at a real-time priority where it may (root), so that its line keeps
its speed on a busy machine as real hardware does (procmeter.as_hardware).

    bench/receive/receive_bench.py [BUILD_DIR] [SPEED...]
"""
import os
import random
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import procmeter  # noqa: E402

from PIL import Image  # noqa: E402

MEMOS = 20


def make_memos(folder):
    rng = random.Random(7)
    os.mkdir(folder)
    for i in range(MEMOS):
        img = Image.new("1", (124, 121), 1)
        img.putdata([0 if rng.random() < 0.3 else 1 for _ in range(124 * 121)])
        img.save(os.path.join(folder, f"memo{i + 1:02}.bmp"))


def receive_once(sim, cli, memos, work, baud):
    link = os.path.join(work, f"COM-{baud}")
    sim_log = open(os.path.join(work, f"sim-{baud}.log"), "w+")
    device = subprocess.Popen([sim, "send", "--link", link, "--baud", str(baud), memos],
                              stdout=subprocess.DEVNULL, stderr=sim_log,
                              preexec_fn=procmeter.as_hardware)
    for _ in range(200):
        if os.path.exists(link):
            break
        time.sleep(0.025)
    env = dict(os.environ, XDG_CONFIG_HOME=work)
    out = os.path.join(work, f"out-{baud}")
    proc = subprocess.Popen([cli, "receive", "--port", link, "--speed", str(baud), "--out", out], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    child = procmeter.Child(proc)
    begin, err = child.mark_at("受信中です", timeout=60)
    if begin is None:
        proc.kill()
        sys.exit("vexlo-cli receive never reached its record phase:\n" + err.decode(errors="replace"))
    end, status = child.finish()
    err += proc.stderr.read()
    wall = end.wall - begin.wall
    device.wait(timeout=30)
    sim_log.seek(0)
    log = sim_log.read()
    if status != 0:
        sys.exit(f"receive failed ({status}):\n{err.decode(errors='replace')}\n{log}")
    sent = re.search(r"\((\d+) bytes\)", log)
    if not sent:
        sys.exit("the simulator did not report its byte count:\n" + log)
    written = len([f for f in os.listdir(out) if f.startswith("memo-")])
    if written != MEMOS:
        sys.exit(f"{written} memos written, {MEMOS} sent")
    line_time = int(sent.group(1)) * 10 / baud
    return wall / line_time, line_time, procmeter.Cost(begin, end)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    speeds = [int(s) for s in sys.argv[2:]] or [19200, 9600]
    sim = os.path.join(build, "tools/qm10sim/qm10-sim")
    cli = os.path.join(build, "tools/cli/vexlo-cli")
    with tempfile.TemporaryDirectory() as work:
        memos = os.path.join(work, "memos")
        make_memos(memos)
        for baud in speeds:
            ratio, line_time, cost = receive_once(sim, cli, memos, work, baud)
            print(f"{baud:5} bit/s: {MEMOS} memos, line time {line_time:.2f} s, wall / line time {ratio:.3f} "
                  f"(target <= 1.02); records: {cost.line()} (target <= 0.3 %)")


if __name__ == "__main__":
    main()
