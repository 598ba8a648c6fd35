#!/usr/bin/python3
"""The link against a minimal peer: vexlo-cli send and receive beside bench/peers/minipeer.c, a
small C program that does the same exchange with the device and nothing else (termios, blocking
reads and writes, tcdrain; its writes paced and its reads batched as VEXLO's are), each against
qm10-sim over a pseudo-terminal at 19200 and 9600 bit/s.

In turn, ROUNDS times: a send of a 124 x 121 memo by each, then a receive of MEMOS memos by each.
For each it takes the record phase (from the status line that says the device has answered,
"転送中です", "受信中です" or the peer's "records", until the program has ended) and what the
program cost in it (bench/procmeter.py): CPU time and wake-ups (context switches). It prints each
round and then, for each exchange and speed, the medians and ranges of both programs and of
VEXLO's CPU time over the peer's, round by round (targets: send <= 3, receive <= 1.5), and of
the wake-ups over the peer's. The peer is built with cc into BUILD_DIR/bench/peers/.
The simulated device runs at a real-time priority where it may (root).

    bench/peers/link_peer_bench.py [BUILD_DIR] [--rounds N] [--memos N] [--speeds 19200,9600]
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "send"))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "receive"))
import procmeter  # noqa: E402
import receive_bench  # noqa: E402
import send_bench  # noqa: E402


def build_peer(build):
    source = os.path.join(HERE, "minipeer.c")
    target = os.path.join(build, "bench", "peers", "minipeer")
    if not os.path.exists(target) or os.path.getmtime(target) < os.path.getmtime(source):
        os.makedirs(os.path.dirname(target), exist_ok=True)
        subprocess.run(["cc", "-O2", "-Wall", "-o", target, source], check=True)
    return target


def wait_for(path):
    for _ in range(200):
        if os.path.exists(path):
            return
        time.sleep(0.025)
    sys.exit(f"the simulator never made {path}")


def measure(argv, status, env=None):
    """Runs ARGV; returns (record-phase wall time, its procmeter.Cost)."""
    proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    child = procmeter.Child(proc)
    begin, err = child.mark_at(status, timeout=60)
    if begin is None:
        proc.kill()
    end, code = child.finish()
    err += proc.stderr.read()
    if code != 0 or begin is None:
        sys.exit(f"{argv[0]} {argv[1]} failed ({code}):\n{err.decode(errors='replace')}")
    return end.wall - begin.wall, procmeter.Cost(begin, end)


def receive_run(sim, argv, status, link, memos, baud, env=None):
    device = subprocess.Popen([sim, "send", "--link", link, "--baud", str(baud), memos],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              preexec_fn=procmeter.as_hardware)
    try:
        wait_for(link)
        return measure(argv, status, env)
    finally:
        if device.wait(timeout=30) != 0:
            sys.exit(f"the simulator's exchange with {argv[0]} failed")


def spread(values, fmt):
    return f"{fmt(statistics.median(values))} ({fmt(min(values))}–{fmt(max(values))})"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--memos", type=int, default=5)
    parser.add_argument("--speeds", default="19200,9600")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    speeds = [int(s) for s in args.speeds.split(",")]
    sim = os.path.join(build, "tools/qm10sim/qm10-sim")
    cli = os.path.join(build, "tools/cli/vexlo-cli")
    peer = build_peer(build)
    receive_bench.MEMOS = args.memos
    results = {}  # (exchange, speed) -> {"vexlo": [Cost], "peer": [Cost]}
    shm = "/dev/shm" if os.path.isdir("/dev/shm") else None
    with tempfile.TemporaryDirectory() as work, tempfile.TemporaryDirectory(dir=shm) as device_out:
        env = dict(os.environ, XDG_CONFIG_HOME=work)
        image = os.path.join(work, "memo.bmp")
        send_bench.write_bmp(image, random.Random(7))
        chain = os.path.join(work, "chain.txt")
        with open(chain, "w") as f:
            subprocess.run([cli, "encode", image, "--title", "bench", "--reading", "bench"], env=env,
                           stdout=f, check=True)
        memos = os.path.join(work, "memos")
        receive_bench.make_memos(memos)
        for baud in speeds:
            link = os.path.join(work, f"COM-{baud}")
            device = subprocess.Popen([sim, "receive", "--loop", "--link", link, "--baud", str(baud), "--out",
                                       os.path.join(device_out, f"device-{baud}")], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL, preexec_fn=procmeter.as_hardware)
            try:
                wait_for(link)
                for r in range(args.rounds):
                    runs = {
                        "vexlo": lambda: measure([cli, "send", "--port", link, "--speed", str(baud), image, "--title",
                                                  "bench", "--reading", "bench", "--yes"], "転送中です", env),
                        "peer": lambda: measure([peer, "send", link, str(baud), chain], "records"),
                    }
                    for who in (["vexlo", "peer"] if r % 2 == 0 else ["peer", "vexlo"]):
                        wall, cost = runs[who]()
                        results.setdefault(("send", baud), {}).setdefault(who, []).append(cost)
                        print(f"{baud:5} bit/s send    {r + 1} {who:5}: record phase {wall:6.3f} s, "
                              f"CPU {cost.cpu * 1000:6.2f} ms, {cost.switches:4} wake-ups", flush=True)
                        time.sleep(0.3)  # the device waits for the line to close before the next exchange
            finally:
                device.terminate()
                device.wait(timeout=10)
            for r in range(args.rounds):
                out = {w: os.path.join(work, f"out-{baud}-{r}-{w}") for w in ("vexlo", "peer")}
                os.mkdir(out["peer"])
                link = os.path.join(work, f"COM-{baud}-{r}")
                runs = {
                    "vexlo": lambda: receive_run(sim, [cli, "receive", "--port", link, "--speed", str(baud), "--out",
                                                       out["vexlo"]], "受信中です", link, memos, baud, env),
                    "peer": lambda: receive_run(sim, [peer, "receive", link, str(baud), out["peer"]], "records", link,
                                                memos, baud),
                }
                for who in (["vexlo", "peer"] if r % 2 == 0 else ["peer", "vexlo"]):
                    wall, cost = runs[who]()
                    results.setdefault(("receive", baud), {}).setdefault(who, []).append(cost)
                    print(f"{baud:5} bit/s receive {r + 1} {who:5}: record phase {wall:6.3f} s, "
                          f"CPU {cost.cpu * 1000:6.2f} ms, {cost.switches:4} wake-ups", flush=True)
                kept = len(os.listdir(out["vexlo"])), len(os.listdir(out["peer"]))
                if kept != (args.memos, args.memos):
                    sys.exit(f"memos kept by vexlo-cli and the peer: {kept}, {args.memos} sent")

    print(f"\n{args.rounds} rounds; send: one memo of 124 x 121; receive: {args.memos} memos. "
          "Median (range) of the rounds.")
    targets = {"send": 3.0, "receive": 1.5}
    for (exchange, baud), runs in results.items():
        v, p = runs["vexlo"], runs["peer"]
        ratios = [a.cpu / b.cpu for a, b in zip(v, p) if b.cpu > 0]
        wakes = [a.switches / b.switches for a, b in zip(v, p) if b.switches > 0]
        print(f"{exchange:7} {baud:5} bit/s: CPU vexlo-cli {spread([c.cpu * 1000 for c in v], '{:.2f}'.format)} ms, "
              f"peer {spread([c.cpu * 1000 for c in p], '{:.2f}'.format)} ms, ratio {spread(ratios, '{:.2f}'.format)} "
              f"(target <= {targets[exchange]}); wake-ups {spread([c.switches for c in v], '{:.0f}'.format)} / "
              f"{spread([c.switches for c in p], '{:.0f}'.format)}, ratio {spread(wakes, '{:.2f}'.format)}")


if __name__ == "__main__":
    main()
