"""What a process has cost so far, read from /proc: CPU time and wake-ups.

CPU time is utime + stime of /proc/PID/stat (the whole process, its threads included). The
kernel counts it in clock ticks (10 ms here), too coarse for a process that runs a fraction
of a millisecond at a time, so the run time of every thread in nanoseconds
(/proc/PID/task/*/schedstat) is read beside it: both say the same, one of them precisely.
Wake-ups are the voluntary and involuntary context switches of every thread
(/proc/PID/task/*/status): each time a thread went to sleep or was put aside.

A process that has ended can still be read while it is a zombie: wait_zombie() waits for its
end without reaping it, end() then reads it, and reap() lets it go. A zombie keeps the CPU
time of all its threads, but the context switches only of its main thread, so for them the
zombie's reaped rusage (all threads, the whole life) is taken instead.
"""
import os
import resource
import selectors
import time

TICK = os.sysconf("SC_CLK_TCK")


class Sample:
    def __init__(self, wall, ticks, run_ns, switches, slept):
        self.wall = wall          # time.monotonic()
        self.ticks = ticks        # utime + stime, clock ticks
        self.run_ns = run_ns      # run time of the living threads, ns
        self.switches = switches  # voluntary + involuntary context switches
        self.slept = slept        # of those, voluntary: the times a thread went to sleep


def _stat_ticks(pid):
    text = open(f"/proc/{pid}/stat").read()
    fields = text[text.rindex(")") + 2:].split()
    return int(fields[11]) + int(fields[12])


def _threads(pid):
    try:
        return os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return []


def _run_ns(pid):
    total = 0
    for tid in _threads(pid):
        try:
            total += int(open(f"/proc/{pid}/task/{tid}/schedstat").read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total


def _switches(pid):
    """(voluntary + involuntary, voluntary) context switches of all threads."""
    total = slept = 0
    for tid in _threads(pid):
        try:
            for line in open(f"/proc/{pid}/task/{tid}/status"):
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    total += int(line.split()[1])
                if line.startswith("voluntary_ctxt_switches"):
                    slept += int(line.split()[1])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total, slept


def sample(pid):
    """What PID has cost so far (a living process)."""
    return Sample(time.monotonic(), _stat_ticks(pid), _run_ns(pid), *_switches(pid))


class Child:
    """A child process measured from a moment of its life (mark) to its end."""

    def __init__(self, popen):
        self.popen = popen
        self.usage_before = resource.getrusage(resource.RUSAGE_CHILDREN)
        self.started = time.monotonic()

    def mark(self):
        self.start = sample(self.popen.pid)
        return self.start

    def mark_at(self, status, timeout):
        """Reads the child's standard error (a pipe) until STATUS appears in it, then marks.
        Returns (the mark, or None when the child ended or said nothing for TIMEOUT seconds
        first, and what it wrote so far). The rest is read after its end: the pipe holds it."""
        sel = selectors.DefaultSelector()
        sel.register(self.popen.stderr, selectors.EVENT_READ)
        err = b""
        while status.encode() not in err:
            if not sel.select(timeout=timeout):
                return None, err
            chunk = os.read(self.popen.stderr.fileno(), 4096)
            if not chunk:
                return None, err
            err += chunk
        return self.mark(), err

    def finish(self):
        """Waits for the end, measures the zombie, reaps it. Returns (Sample, exit status)."""
        os.waitid(os.P_PID, self.popen.pid, os.WEXITED | os.WNOWAIT)
        wall = time.monotonic()
        ticks = _stat_ticks(self.popen.pid)
        run_ns = _run_ns(self.popen.pid)
        status = self.popen.wait()
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        slept = after.ru_nvcsw - self.usage_before.ru_nvcsw
        switches = slept + after.ru_nivcsw - self.usage_before.ru_nivcsw
        return Sample(wall, ticks, run_ns, switches, slept), status


class Cost:
    """The cost between two samples."""

    def __init__(self, a, b):
        self.wall = b.wall - a.wall
        self.cpu_stat = (b.ticks - a.ticks) / TICK
        self.cpu = (b.run_ns - a.run_ns) / 1e9
        self.switches = b.switches - a.switches
        self.slept = b.slept - a.slept

    def __add__(self, other):
        total = Cost.__new__(Cost)
        for name in ("wall", "cpu_stat", "cpu", "switches", "slept"):
            setattr(total, name, getattr(self, name) + getattr(other, name))
        return total

    def percent(self):
        return 100 * self.cpu / self.wall if self.wall > 0 else 0.0

    def percent_stat(self):
        return 100 * self.cpu_stat / self.wall if self.wall > 0 else 0.0

    def wakeups(self):
        return self.switches / self.wall if self.wall > 0 else 0.0

    def line(self):
        slept = self.slept / self.wall if self.wall > 0 else 0.0
        return (f"CPU / wall {self.percent():6.3f} %  (utime+stime {self.percent_stat():.2f} %), "
                f"{self.wakeups():6.1f} wake-ups/s ({slept:.1f} from sleep)")


def as_hardware():
    """For Popen(preexec_fn=...): the simulated device runs at a real-time priority, so that its
    line keeps its speed as a UART does, however busy the machine is; the program measured
    keeps the ordinary one. Without the right to it (not root), the device runs as it is."""
    try:
        os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(10))
    except OSError:
        pass
