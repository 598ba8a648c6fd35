#!/usr/bin/python3
"""Receiver benchmark: what vexlo-cli receiver, the always-on collector, costs while it waits,
and what the notification of an exchange adds to it.

Everything runs on a session bus of the benchmark's own (a dbus-daemon that activates no
service, so no desktop's notification server is started), with a fresh VEXLO.INI whose COM1
is DIR/dev/COM1, in a folder where nothing else comes or goes, and the library in DIR/data.
The receiver process is measured with bench/procmeter.py (CPU time of all its threads, and
wake-ups: their voluntary and involuntary context switches), over SECONDS after 2 s to settle:
  1. port absent: COM1 does not exist; the receiver waits for it to appear (target: no
     wake-ups at all);
  2. port present, device silent: COM1 is a pseudo-terminal the benchmark holds and never
     writes to (target: CPU time over wall time <= 0.1 %);
  3. port absent again, after that terminal has gone (the adapter pulled out): the same
     target as 1. What the notification service was asked to show meanwhile is printed.
Then exchanges of the simulator's 3 sample memos (qm10-sim send --loop, 19200 bit/s, at a
real-time priority where it may), the receiver's CPU time and wake-ups per exchange counted
from one moment the line is closed between exchanges to the next, medians:
  4. with a notification service on the bus (build/bench/receiver/notify_bench service, which
     answers every Notify), and without one (the bus answers the call with an error), in turn;
     then a receiver with no session bus at all (it sends nothing and serves nothing on a bus).
     The exchange after each change is not counted. "with" minus "none" bounds what the bus
     adds to an exchange, the notification among it (target for the notification
     <= 5 ms CPU);
  5. build/bench/receiver/notify_bench: the notification alone, timed inside one process.

    bench/receiver/receiver_bench.py [BUILD_DIR] [SECONDS]     (default 20 seconds a measure)
"""
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import procmeter  # noqa: E402

SETTLE = 2.0
ROUNDS = 3        # turns of "with" and "without" a notification service
EXCHANGES = 3     # counted exchanges a turn
BAUD = 19200

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:dir={dir}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
"""


def wait_until(done, what, timeout=30.0):
    deadline = time.monotonic() + timeout
    while not done():
        if time.monotonic() > deadline:
            sys.exit(f"timed out waiting for {what}")
        time.sleep(0.005)


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


class Bench:
    def __init__(self, build, work):
        self.build = build
        self.work = work
        self.cli = os.path.join(build, "tools/cli/vexlo-cli")
        self.sim = os.path.join(build, "tools/qm10sim/qm10-sim")
        self.notify = os.path.join(build, "bench/receiver/notify_bench")
        for path in (self.cli, self.sim, self.notify):
            if not os.access(path, os.X_OK):
                sys.exit(f"{path} is missing: build it first (cmake --build {build})")
        self.dev = os.path.join(work, "dev")
        self.port = os.path.join(self.dev, "COM1")
        self.library = os.path.join(work, "data/vexlo/memos")
        for folder in ("config", "data", "dev", "bus"):
            os.mkdir(os.path.join(work, folder))
        with open(os.path.join(work, "config/VEXLO.INI"), "w", newline="") as ini:
            ini.write(f"[Comm]\r\nPort=COM1\r\nSpeed={BAUD}\r\n[Ports]\r\nCOM1={self.port}\r\n")
        with open(os.path.join(work, "bus.conf"), "w") as conf:
            conf.write(BUS_CONFIG.format(dir=os.path.join(work, "bus")))
        self.bus = subprocess.Popen(["dbus-daemon", "--config-file=" + os.path.join(work, "bus.conf"),
                                     "--nofork", "--print-address"], stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True)
        self.address = self.bus.stdout.readline().strip()
        if not self.address:
            sys.exit("dbus-daemon gave no address")
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"),
                        XDG_DATA_HOME=os.path.join(work, "data"), DBUS_SESSION_BUS_ADDRESS=self.address)
        self.receivers = 0
        self.receiver = None
        self.service = None
        self.services = 0
        self.device = None

    # --- the programs ---

    def start_receiver(self, env):
        self.receivers += 1
        self.err = os.path.join(self.work, f"receiver{self.receivers}.err")
        self.receiver = subprocess.Popen([self.cli, "receiver"], env=env, stdout=subprocess.DEVNULL,
                                         stderr=open(self.err, "w"))

    def stop_receiver(self):
        self.receiver.send_signal(signal.SIGTERM)
        status = self.receiver.wait(timeout=30)
        if status != 0:
            sys.exit(f"the receiver ended with {status}:\n{read(self.err)}")

    def said(self, text):
        return read(self.err).count(text)

    def start_service(self):
        self.services += 1
        self.service_out = os.path.join(self.work, f"service{self.services}.out")
        self.service = subprocess.Popen([self.notify, "service"], env=self.env,
                                        stdout=open(self.service_out, "w"))
        wait_until(lambda: "ready" in read(self.service_out), "the notification service")

    def stop_service(self):
        self.service.kill()
        self.service.wait()
        self.service = None

    def shown(self):
        return [line for line in read(self.service_out).splitlines() if line.startswith("Notify ")]

    def state(self):
        reply = subprocess.run(["dbus-send", "--session", "--print-reply=literal",
                                "--dest=org.example.vexlo.Receiver", "/org/example/vexlo/Receiver",
                                "org.example.vexlo.Receiver1.State"],
                               env=self.env, capture_output=True, text=True)
        return reply.stdout.strip()

    def holds(self, path):
        """True when the receiver has PATH open."""
        fds = f"/proc/{self.receiver.pid}/fd"
        for fd in os.listdir(fds):
            try:
                if os.readlink(os.path.join(fds, fd)) == path:
                    return True
            except OSError:
                pass
        return False

    def measure(self, seconds):
        time.sleep(SETTLE)
        before = procmeter.sample(self.receiver.pid)
        time.sleep(seconds)
        return procmeter.Cost(before, procmeter.sample(self.receiver.pid))

    # --- the measures ---

    def waiting(self, seconds):
        self.start_service()
        self.start_receiver(self.env)
        wait_until(lambda: self.said("waiting for the device to appear") == 1, "the receiver to wait for COM1")
        wait_until(lambda: self.state() == "absent", 'the receiver\'s state "absent"')
        absent = self.measure(seconds)
        print(f"1. port absent:                 {absent.line()}  (target: 0 wake-ups/s)")

        master, slave = os.openpty()
        line = os.ttyname(slave)
        os.close(slave)
        os.symlink(line, self.port)
        wait_until(lambda: self.holds(line), "the receiver to open the pseudo-terminal")
        silent = self.measure(seconds)
        print(f"2. port present, device silent: {silent.line()}  (target <= 0.1 %)")

        os.unlink(self.port)
        os.close(master)
        wait_until(lambda: self.said("waiting for the device to appear") == 2,
                   "the receiver to wait for COM1 again")
        gone = self.measure(seconds)
        print(f"3. port absent again:           {gone.line()}  (target: 0 wake-ups/s)")
        shown = self.shown()
        print(f"   notifications meanwhile: {len(shown)}" + "".join(f"\n     {s}" for s in shown))
        if shown:
            said = [line for line in read(self.err).splitlines()
                    if line and not line.startswith(("vexlo-cli:", " ", "接続中"))]
            print(f"   (what the receiver said meanwhile: {' / '.join(said)})")
        self.stop_service()
        self.stop_receiver()

    def exchanges(self):
        """Per-exchange costs of the receiver in turns with the service, without it, and with no
        bus: {name: [Cost, ...]}."""
        sim_log = os.path.join(self.work, "sim.err")
        self.device = subprocess.Popen([self.sim, "send", "--loop", "--link", self.port, "--baud", str(BAUD)],
                                       stdout=subprocess.DEVNULL, stderr=open(sim_log, "w"),
                                       preexec_fn=procmeter.as_hardware)
        wait_until(lambda: os.path.islink(self.port), "the simulator's line")
        closed = lambda: read(sim_log).count("waiting for the PC to open the line")  # noqa: E731
        costs = {"with": [], "without": [], "none": []}
        memos = 0

        def run(name, count):
            """Lets one exchange pass uncounted, then counts COUNT, each from one close of the
            line to the next (the receiver then rests 200 ms, its notification sent)."""
            nonlocal memos
            seen = closed()
            wait_until(lambda: closed() > seen, "an exchange", timeout=60)
            before = procmeter.sample(self.receiver.pid)
            for _ in range(count):
                seen = closed()
                notified = len(self.shown()) if name == "with" else 0
                wait_until(lambda: closed() > seen, "an exchange", timeout=60)
                after = procmeter.sample(self.receiver.pid)
                costs[name].append(procmeter.Cost(before, after))
                before = after
                if name == "with":
                    wait_until(lambda: len(self.shown()) > notified, "the exchange's notification", timeout=10)
            memos += 3 * (count + 1)

        self.start_service()
        self.start_receiver(self.env)
        for _ in range(ROUNDS):
            if self.service is None:
                self.start_service()
            run("with", EXCHANGES)
            self.stop_service()
            run("without", EXCHANGES)
        # The line is closed: the receiver rests between exchanges. Another takes over.
        self.stop_receiver()
        self.start_receiver(dict(self.env, DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(self.work, "none")))
        run("none", EXCHANGES)
        self.stop_receiver()
        self.device.kill()
        self.device.wait()
        stored = len([f for f in os.listdir(self.library) if f.endswith(".png")])
        # The first exchange of each receiver is not counted, nor is the one it was stopped in.
        if stored < memos:
            sys.exit(f"{stored} memos in the library, at least {memos} expected:\n{read(sim_log)[-2000:]}")
        shown = []
        for n in range(2, self.services + 1):  # the services of the exchanges
            self.service_out = os.path.join(self.work, f"service{n}.out")
            shown += self.shown()
        wrong = [s for s in shown if "メモを受信しました image 248x242 actions 4" not in s]
        if wrong:
            sys.exit("notifications not as the receiver sends them:\n" + "\n".join(wrong))
        return costs

    def close(self):
        for proc in (self.receiver, self.service, self.device):
            if proc is not None and proc.poll() is None:
                proc.kill()
                proc.wait()
        self.bus.terminate()
        self.bus.wait()


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    with tempfile.TemporaryDirectory() as work:
        bench = Bench(build, work)
        try:
            bench.waiting(seconds)
            costs = bench.exchanges()
        finally:
            bench.close()
    print(f"4. exchanges of 3 sample memos at {BAUD} bit/s, per exchange (medians; "
          f"{ROUNDS} turns of {EXCHANGES} with and without the service):")
    medians = {}
    for name, label in (("with", "notification service there"), ("without", "no notification service"),
                        ("none", "no session bus")):
        cpu = [c.cpu * 1000 for c in costs[name]]
        wakeups = [c.switches for c in costs[name]]
        walls = [c.wall for c in costs[name]]
        medians[name] = statistics.median(cpu)
        print(f"   {label:28} {medians[name]:6.2f} ms CPU (range {min(cpu):.2f}-{max(cpu):.2f}), "
              f"{statistics.median(wakeups):5.0f} wake-ups, {statistics.median(walls):.2f} s wall")
    print(f"   service there minus none: {medians['with'] - medians['none']:+.2f} ms, "
          f"minus no service: {medians['with'] - medians['without']:+.2f} ms  (target <= 5 ms)")
    print("5. ", end="", flush=True)
    subprocess.run([os.path.join(build, "bench/receiver/notify_bench")], check=True)


if __name__ == "__main__":
    main()
