#!/usr/bin/python3
"""Receive benchmark: vexlo-cli receive of 20 memos of 124 x 121 from qm10-sim at 19200 bit/s.

Prints wall time over line time (the bytes the device sent x 10 bits / 19200; target <= 1.05)
and the receiving program's CPU time over wall time (target <= 2 %).

    bench/receive/receive_bench.py [BUILD_DIR]
"""
import os
import random
import re
import resource
import subprocess
import sys
import tempfile
import time

from PIL import Image

BAUD = 19200
MEMOS = 20


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    sim = os.path.join(build, "tools/qm10sim/qm10-sim")
    cli = os.path.join(build, "tools/cli/vexlo-cli")
    with tempfile.TemporaryDirectory() as work:
        rng = random.Random(7)
        memos = os.path.join(work, "memos")
        os.mkdir(memos)
        for i in range(MEMOS):
            img = Image.new("1", (124, 121), 1)
            img.putdata([0 if rng.random() < 0.3 else 1 for _ in range(124 * 121)])
            img.save(os.path.join(memos, f"memo{i + 1:02}.bmp"))
        link = os.path.join(work, "COM1")
        sim_log = open(os.path.join(work, "sim.log"), "w+")
        device = subprocess.Popen([sim, "send", "--link", link, "--baud", str(BAUD), memos],
                                  stdout=subprocess.DEVNULL, stderr=sim_log)
        for _ in range(200):
            if os.path.exists(link):
                break
            time.sleep(0.025)
        env = dict(os.environ, XDG_CONFIG_HOME=work)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        result = subprocess.run([cli, "receive", "--port", link, "--speed", str(BAUD), "--out",
                                 os.path.join(work, "out")], env=env, capture_output=True, text=True)
        wall = time.monotonic() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        device.wait(timeout=30)
        sim_log.seek(0)
        log = sim_log.read()
        if result.returncode != 0:
            sys.exit(f"receive failed ({result.returncode}):\n{result.stderr}\n{log}")
        sent = re.search(r"\((\d+) bytes\)", log)
        if not sent:
            sys.exit("the simulator did not report its byte count:\n" + log)
        line_time = int(sent.group(1)) * 10 / BAUD
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        print(f"memos received       {result.stdout.count(chr(10))}")
        print(f"bytes on the line    {sent.group(1)}")
        print(f"line time            {line_time:.3f} s")
        print(f"wall time            {wall:.3f} s")
        print(f"wall / line time     {wall / line_time:.3f}   (target <= 1.05)")
        print(f"CPU / wall time      {100 * cpu / wall:.2f} %  (target <= 2 %)")


if __name__ == "__main__":
    main()
