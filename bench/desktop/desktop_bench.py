#!/usr/bin/python3
"""Desktop benchmark: what VEXLO costs while nothing happens, and while it waits for the device.

Starts VEXLO (needs DISPLAY and xdotool) with a fresh configuration whose port COM1 is a
pseudo-terminal nobody speaks on, and measures the VEXLO process (bench/procmeter.py):
  1. at rest: the frame window up, no command running (target: no wake-ups at all);
  2. waiting for the device's call: Receive chosen (通信 > データを受信する), the status
     window up, the device silent (target: CPU time over wall time <= 0.1 %).
Then it cancels the receive and ends VEXLO.

    bench/desktop/desktop_bench.py [BUILD_DIR] [SECONDS]      (default 10 seconds each)
"""
import os
import pty
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import procmeter  # noqa: E402


def xdotool(*args, check=True):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, check=check).stdout.split()


def wait_for_window(pid=None, name=None, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        args = ["search", "--onlyvisible"]
        args += ["--pid", str(pid)] if pid else []
        args += ["--name", name] if name else ["--name", "."]
        found = xdotool(*args, check=False)
        if found:
            return found[0]
        time.sleep(0.1)
    sys.exit(f"no window {name or ''} of VEXLO appeared")


def measure(pid, seconds):
    before = procmeter.sample(pid)
    time.sleep(seconds)
    return procmeter.Cost(before, procmeter.sample(pid))


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    if not os.environ.get("DISPLAY"):
        sys.exit("DISPLAY must name an X server")
    vexlo = os.path.join(build, "app/vexlo")
    master, slave = pty.openpty()
    device = os.ttyname(slave)
    os.close(slave)  # the master keeps the line; VEXLO opens it as the PC does
    with tempfile.TemporaryDirectory() as config:
        with open(os.path.join(config, "VEXLO.INI"), "w") as ini:
            ini.write(f"[Comm]\nPort=COM1\nSpeed=19200\nWordLen=8\nPariry=0\nStopBits=0\n[Ports]\nCOM1={device}\n")
        env = dict(os.environ, XDG_CONFIG_HOME=config, QT_QPA_PLATFORM="xcb")
        proc = subprocess.Popen([vexlo], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            frame = wait_for_window(pid=proc.pid)
            time.sleep(2)  # let it settle after showing
            rest = measure(proc.pid, seconds)
            print(f"at rest:                  {rest.line()}  (target: 0 wake-ups/s)")

            xdotool("windowfocus", "--sync", frame, check=False)
            xdotool("key", "--window", frame, "alt+c")
            time.sleep(0.3)
            xdotool("key", "r")
            status = wait_for_window(name="通信ステータス", timeout=10)
            time.sleep(1)  # the port's settle wait is over long before
            waiting = measure(proc.pid, seconds)
            print(f"waiting for the call:     {waiting.line()}  (target <= 0.1 %)")

            xdotool("windowfocus", "--sync", status, check=False)
            xdotool("key", "Escape")
        finally:
            time.sleep(0.5)
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
            os.close(master)


if __name__ == "__main__":
    main()
