#!/usr/bin/env python3
"""What the station costs while it waits.

- Benchmate's window (offscreen) idle for a window of seconds after its
  start-up, beside the simulator (24 DUTs) idle in the same window: CPU
  time used in the window (every thread, from /proc/PID/task/*/schedstat,
  in nanoseconds), as a share of one core; the reference is the window's
  own start-up CPU.
- Chipctl waiting on a chip that never answers (a pty nobody reads from):
  "mode read" (11 probes) and "xtal_cap read" (its ramcode precondition
  waits out 40 probes of 11, about 4.4 s): CPU (user + system of the child,
  getrusage) beside "Chipctl version" run in the same rounds, which costs the
  start-up alone.

    bench/idle/bench_idle.py [--build build] [--window 10] [--repeats 3]
                             [--markdown FILE]

Needs a built tree (Benchmate, Chipctl, stationsim). Never run as a test.
"""

import argparse
import fcntl
import glob
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

# One measured run of a program, shared with the command benchmark.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "chipctl"))
from bench_commands import run_measured  # noqa: E402


def cpu_ns(pid):
    """CPU time of every live thread of `pid`, in nanoseconds."""
    total = 0
    for path in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            with open(path) as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass  # a thread that ended meanwhile
    return total


def settle(pid, quiet_s=1.0, limit_s=20.0):
    """Waits until `pid` has used no CPU for `quiet_s` (its start-up is
    over), at most `limit_s`; returns its CPU time then."""
    deadline = time.monotonic() + limit_s
    last = cpu_ns(pid)
    while time.monotonic() < deadline:
        time.sleep(quiet_s)
        now = cpu_ns(pid)
        if now - last < 1_000_000:  # below 1 ms in the pause
            return now
        last = now
    return last


NEAR_ZERO = 0.01  # of one core


def verdict(what, share):
    return (f"- {what}: {share * 100:.2f} % of one core "
            f"{'<' if share < NEAR_ZERO else '≥'} {NEAR_ZERO * 100:.0f} %: "
            f"{'met' if share < NEAR_ZERO else 'MISSED'}")


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def idle_window(build, window_s, work):
    """One window: (Benchmate start-up CPU s, Benchmate idle CPU s,
    simulator idle CPU s)."""
    station = os.path.join(work, "station")
    shutil.rmtree(station, ignore_errors=True)
    shutil.copytree(os.path.join(build, "station"), station)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    sim = subprocess.Popen(
        [os.path.join(build, "bin", "stationsim"), "--base-port", "0", "--duts", "24",
         "--state-dir", os.path.join(work, "state")],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    window = None
    try:
        if not sim.stdout.readline().startswith("ready"):
            sys.exit("stationsim did not get ready")
        window = subprocess.Popen([os.path.join(station, "Benchmate")], cwd=station, env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        start_cpu = settle(window.pid)
        if window.poll() is not None:
            sys.exit("Benchmate ended by itself")
        settle(sim.pid)
        w0, s0 = cpu_ns(window.pid), cpu_ns(sim.pid)
        time.sleep(window_s)
        w1, s1 = cpu_ns(window.pid), cpu_ns(sim.pid)
        if window.poll() is not None:
            sys.exit("Benchmate ended by itself")
        return start_cpu / 1e9, (w1 - w0) / 1e9, (s1 - s0) / 1e9
    finally:
        if window is not None:
            stop(window)
        stop(sim)


def drain(fd):
    try:
        while os.read(fd, 4096):
            pass
    except (BlockingIOError, OSError):
        pass


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(root, "build"))
    ap.add_argument("--window", type=float, default=10.0)
    ap.add_argument("--repeats", type=int, default=3)
    ap.add_argument("--markdown", help="also write the tables to this file")
    args = ap.parse_args()

    build = os.path.abspath(args.build)
    chipctl_bin = os.path.join(build, "station", "config", "CHIPCTL", "Chipctl")
    for path in (chipctl_bin, os.path.join(build, "station", "Benchmate"),
                 os.path.join(build, "bin", "stationsim")):
        if not os.path.exists(path):
            sys.exit(f"missing {path}: build the tree first")

    med = statistics.median
    work = tempfile.mkdtemp(prefix="bench-idle-")
    master = slave = -1
    try:
        windows = []
        for i in range(args.repeats):
            print(f"idle window {i + 1}/{args.repeats}", file=sys.stderr, flush=True)
            windows.append(idle_window(build, args.window, work))

        # A chip that never answers: a pty whose other side nobody reads.
        master, slave = os.openpty()
        fcntl.fcntl(master, fcntl.F_SETFL, fcntl.fcntl(master, fcntl.F_GETFL) | os.O_NONBLOCK)
        port = os.ttyname(slave)
        tooldir = os.path.join(work, "chipctl")
        shutil.copytree(os.path.dirname(chipctl_bin), tooldir)
        chipctl = os.path.join(tooldir, "Chipctl")
        runs = {"version": [], "mode read": [], "xtal_cap read": []}
        argvs = {"version": [chipctl, "version"], "mode read": [chipctl, port, "mode", "read"],
                 "xtal_cap read": [chipctl, port, "xtal_cap", "read"]}
        for i in range(args.repeats):
            print(f"silent chip round {i + 1}/{args.repeats}", file=sys.stderr, flush=True)
            for name, argv in argvs.items():
                wall, cpu, out = run_measured(argv, tooldir)
                drain(master)
                if name == "version" and b"Ok." not in out:
                    sys.exit(f"Chipctl version: no Ok. in {out!r}")
                if name != "version" and b"Ok." in out:
                    sys.exit(f"{name} on a silent port answered Ok.: {out!r}")
                runs[name].append((wall, cpu))

        lines = [
            f"| process | idle window (s) | start-up CPU (ms, reference) | CPU in the window (ms) "
            f"| share of one core | window CPU / start-up CPU |",
            "|---|---:|---:|---:|---:|---:|",
        ]
        start = med(w[0] for w in windows)
        idle = med(w[1] for w in windows)
        lines.append(f"| Benchmate (offscreen, idle) | {args.window:.0f} | {start * 1e3:.1f} | "
                     f"{idle * 1e3:.2f} | {idle / args.window * 100:.3f} % | "
                     f"{idle / start:.4f} |")
        sim_idle = med(w[2] for w in windows)
        lines.append(f"| stationsim, 24 DUTs (idle) | {args.window:.0f} | – | {sim_idle * 1e3:.2f} | "
                     f"{sim_idle / args.window * 100:.3f} % | – |")
        lines.append("")
        lines.append("| Chipctl run on a silent port | wall (ms) | CPU (ms) "
                     "| reference: version CPU (ms) | CPU beyond start-up (ms) "
                     "| CPU / reference | beyond start-up, share of the wait |")
        lines.append("|---|---:|---:|---:|---:|---:|---:|")
        verdicts = [verdict("Benchmate idle", idle / args.window),
                    verdict("stationsim idle", sim_idle / args.window)]
        ref_wall = med(r[0] for r in runs["version"])
        ref_cpu = med(r[1] for r in runs["version"])
        for name in ("mode read", "xtal_cap read"):
            wall = med(r[0] for r in runs[name])
            cpu = med(r[1] for r in runs[name])
            beyond = cpu - ref_cpu
            lines.append(f"| {name} | {wall * 1e3:.0f} | {cpu * 1e3:.1f} | {ref_cpu * 1e3:.1f} | "
                         f"{beyond * 1e3:+.1f} | {cpu / ref_cpu:.2f} | "
                         f"{beyond / max(wall - ref_wall, 1e-9) * 100:.2f} % |")
            verdicts.append(verdict(f"Chipctl {name} waiting", beyond / max(wall - ref_wall, 1e-9)))
        notes = (f"\nMedians of {args.repeats} windows / rounds. Window CPU: every thread's run "
                 "time from /proc/PID/task/*/schedstat after the process has been quiet for 1 s. "
                 "Chipctl CPU: user + system time of the child (getrusage); its share of the "
                 "wait is the CPU beyond \"version\" over the wall time beyond it. Target: "
                 f"near 0, taken as below {NEAR_ZERO * 100:.0f} % of one core.\n\n"
                 + "\n".join(verdicts) + "\n")
        table = "\n".join(lines) + "\n"
        print(table + notes, end="")
        if args.markdown:
            with open(args.markdown, "w", encoding="utf-8") as f:
                f.write(table + notes)
    finally:
        for fd in (master, slave):
            if fd >= 0:
                os.close(fd)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
