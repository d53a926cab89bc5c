#!/usr/bin/env python3
"""Chipctl's cost per run against the simulated station.

For "version", "mode read", "xtal_cap read", "rx_dut" and "download ram",
measures the wall time and the CPU time (user + system of the child) of whole
Chipctl runs, interleaved round by round with the references: a minimal Qt
console program (bench_minimal_qt) and /bin/true. The floor of a command is
the minimal Qt program's median wall time plus the wire time of the bytes the
command exchanges with the chip (10 bits a byte at 115200 baud), counted from
the simulator's wire trace, plus what the chip's link adds at least: behind a
USB-serial adapter (the simulator's default delivery) the adapter's latency
timer after every answer. "download ram" loads the 24 KiB ramcode into a
second DUT's boot ROM (after an unmeasured "entry_boot_mode" each round) and
runs fewer rounds, as each takes over 2 s of wire time.

With --qt6-build, the start-up of the same Chipctl built with Qt 6 ("version"
of that tree) is measured in the same rounds, against the minimal program of
that tree. --startup-only measures the start-up rows alone, without the
simulator.

    bench/chipctl/bench_commands.py [--build build] [--qt6-build build-qt6]
                                    [--rounds 40] [--download-rounds 8]
                                    [--delivery usb] [--startup-only]
                                    [--markdown FILE]

Needs a built tree (Chipctl, stationsim, bench_minimal_qt). Starts its own
simulator on free ports with a temporary state directory and stops it at the
end. Never run as a test.
"""

import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

BAUD = 115200
BITS_PER_BYTE = 10
# Time the simulated chip's radio listens before it reports an RF
# measurement: part of the floor, as no host can shorten it.
CHIP_TIME_S = {"rx_dut": 0.030}

TRACE_LINE = re.compile(r"^\s*\d+\.\d+ (host>chip|chip>host) ((?:[0-9a-f]{2} )*[0-9a-f]{2})")
NOTE_USB = re.compile(r"-- chip: link delivers: usb \(\d+-byte packets, latency timer (\d+) ms\)")


def trace_bytes(path, start):
    """Data bytes in both directions recorded in a trace file after offset
    `start`; returns (count, new offset)."""
    count, _, end = trace_exchange(path, start)
    return count, end


def trace_exchange(path, start):
    """Data bytes in both directions and the chip's answers (runs of
    chip>host records) recorded in a trace file after offset `start`;
    returns (bytes, answers, new offset)."""
    with open(path, "r", encoding="utf-8", errors="replace") as f:
        f.seek(start)
        text = f.read()
        end = f.tell()
    count = 0
    answers = 0
    previous = None
    for line in text.splitlines():
        m = TRACE_LINE.match(line)
        if m:
            count += len(m.group(2).split())
            if m.group(1) == "chip>host" and previous != "chip>host":
                answers += 1
            previous = m.group(1)
    return count, answers, end


def link_latency(path):
    """Seconds a chip's link holds the tail of every answer at least: the
    latency timer of its USB adapter (from the note at the start of its
    trace), 0 for the other delivery models."""
    with open(path, "r", encoding="utf-8", errors="replace") as f:
        for line in f:
            m = NOTE_USB.search(line)
            if m:
                return int(m.group(1)) / 1000.0
            if " -- chip: link delivers:" in line:
                return 0.0
    return 0.0


def run_measured(argv, cwd):
    """One run: (wall seconds, cpu seconds, stdout bytes)."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = proc.stdout.read()
    proc.stdout.close()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    return wall, usage.ru_utime + usage.ru_stime, out


def check_ok(name, out):
    if b"Ok." not in out:
        sys.exit(f"{name}: no Ok. in {out!r}")


def measure_rounds(rounds, programs, cwd):
    """Runs each (name, argv) once to warm up, then `rounds` rounds of all of
    them one after the other and /bin/true; returns {name: (walls, cpus)}."""
    for _, argv in programs:
        run_measured(argv, cwd)
    samples = {name: ([], []) for name, _ in programs}
    samples["/bin/true"] = ([], [])
    true_bin = shutil.which("true") or "/bin/true"
    for _ in range(rounds):
        for name, argv in programs:
            wall, cpu, out = run_measured(argv, cwd)
            check_ok(name, out)
            samples[name][0].append(wall)
            samples[name][1].append(cpu)
        wall, cpu, _ = run_measured([true_bin], cwd)
        samples["/bin/true"][0].append(wall)
        samples["/bin/true"][1].append(cpu)
    return samples


TABLE_HEADER = ["| command | wall median (ms) | CPU median (ms) | bytes on the wire | "
                "link (ms) | floor (ms) | wall / floor | CPU / reference CPU |",
                "|---|---:|---:|---:|---:|---:|---:|---:|"]


def medians(samples, name):
    return statistics.median(samples[name][0]), statistics.median(samples[name][1])


def reference_rows(samples):
    """The header, the minimal Qt program and /bin/true."""
    ref_wall, ref_cpu = medians(samples, "reference")
    true_wall, true_cpu = medians(samples, "/bin/true")
    return TABLE_HEADER + [
        f"| minimal Qt program (reference) | {ref_wall * 1e3:.1f} | {ref_cpu * 1e3:.1f} "
        f"| 0 | 0 | {ref_wall * 1e3:.1f} | 1.00 | 1.00 |",
        f"| /bin/true | {true_wall * 1e3:.1f} | {true_cpu * 1e3:.1f} | 0 | 0 | "
        f"{ref_wall * 1e3:.1f} | {true_wall / ref_wall:.2f} | {true_cpu / ref_cpu:.2f} |"]


def qt6_rows(samples):
    """The Qt 6 tree's minimal program and "version", against that program."""
    if "version, Qt 6" not in samples:
        return []
    ref_wall, ref_cpu = medians(samples, "reference, Qt 6")
    wall, cpu = medians(samples, "version, Qt 6")
    return [f"| minimal Qt program, Qt 6 (reference) | {ref_wall * 1e3:.1f} | {ref_cpu * 1e3:.1f} "
            f"| 0 | 0 | {ref_wall * 1e3:.1f} | 1.00 | 1.00 |",
            f"| version, Qt 6 | {wall * 1e3:.1f} | {cpu * 1e3:.1f} | 0 | 0 | {ref_wall * 1e3:.1f} | "
            f"{wall / ref_wall:.2f} | {cpu / ref_cpu:.2f} |"]


def qt6_verdicts(samples):
    if "version, Qt 6" not in samples:
        return []
    over = medians(samples, "version, Qt 6")[0] - medians(samples, "reference, Qt 6")[0]
    return [f"version, Qt 6 {over * 1e3:+.1f} ms ({'met' if over <= 0.020 else 'MISSED'})"]


QT6_NOTE = ("the Qt 6 rows are measured in the same rounds against the minimal "
            "program built with Qt 6. ")


def startup_rows(args, minimal, chipctl, qt6_startup, work):
    """--startup-only: "version" of each tree beside its minimal program."""
    samples = measure_rounds(args.rounds, [("reference", [minimal]),
                                           ("version", [chipctl, "version"])] + qt6_startup, work)
    ref_wall, ref_cpu = medians(samples, "reference")
    wall, cpu = medians(samples, "version")
    rows = reference_rows(samples)
    rows.append(f"| version | {wall * 1e3:.1f} | {cpu * 1e3:.1f} | 0 | 0 | {ref_wall * 1e3:.1f} | "
                f"{wall / ref_wall:.2f} | {cpu / ref_cpu:.2f} |")
    rows += qt6_rows(samples)
    over = wall - ref_wall
    verdicts = [f"version {over * 1e3:+.1f} ms ({'met' if over <= 0.020 else 'MISSED'})"]
    verdicts += qt6_verdicts(samples)
    rows.append("")
    rows.append("Target: \"version\" within 20 ms of its minimal Qt program; wall - floor: "
                + ", ".join(verdicts) + ".")
    note = (f"{args.rounds} rounds, interleaved, medians; "
            + (QT6_NOTE if qt6_startup else "") + "Start-up rows only.")
    table = "\n".join(rows)
    print(table)
    print()
    print(note)
    if args.markdown:
        with open(args.markdown, "w", encoding="utf-8") as f:
            f.write(table + "\n\n" + note + "\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(root, "build"))
    ap.add_argument("--rounds", type=int, default=40)
    ap.add_argument("--download-rounds", type=int, default=8)
    ap.add_argument("--qt6-build", help="a tree built with Qt 6: its start-up is measured too")
    ap.add_argument("--startup-only", action="store_true",
                    help="only the start-up rows (\"version\" and the references), no simulator")
    ap.add_argument("--delivery", default="usb",
                    help="how the simulated chips' answers reach the host (stationsim --delivery)")
    ap.add_argument("--markdown", help="also write the table to this file")
    ap.add_argument("--baseline-chipctl",
                    help="another Chipctl (an earlier build): its mode read, xtal_cap read and "
                         "rx_dut are measured in the same rounds, as rows marked (baseline)")
    args = ap.parse_args()

    build = os.path.abspath(args.build)
    chipctl_dir = os.path.join(build, "station", "config", "CHIPCTL")
    chipctl_bin = os.path.join(chipctl_dir, "Chipctl")
    image = os.path.join(chipctl_dir, "Config", "TK716A_RAM_BIN.bin")
    sim_bin = os.path.join(build, "bin", "stationsim")
    minimal = os.path.join(build, "bin", "bench_minimal_qt")
    for path in (chipctl_bin, image, sim_bin, minimal):
        if not os.path.exists(path):
            sys.exit(f"missing {path}: build the tree first")
    qt6 = None
    if args.qt6_build:
        qt6_build = os.path.abspath(args.qt6_build)
        qt6 = {"chipctl": os.path.join(qt6_build, "station", "config", "CHIPCTL", "Chipctl"),
               "minimal": os.path.join(qt6_build, "bin", "bench_minimal_qt")}
        for path in qt6.values():
            if not os.path.exists(path):
                sys.exit(f"missing {path}: build the Qt 6 tree first")

    work = tempfile.mkdtemp(prefix="bench-chipctl-")
    sim = None
    try:
        # A private copy of the program: its Config directory is its own.
        os.makedirs(os.path.join(work, "Config"))
        chipctl = os.path.join(work, "Chipctl")
        shutil.copy2(chipctl_bin, chipctl)
        shutil.copy2(image, os.path.join(work, "Config", "TK716A_RAM_BIN.bin"))
        traces = os.path.join(work, "trace")
        os.makedirs(traces)
        # Qt 6's Chipctl in a directory of its own, beside its own Config.
        qt6_startup = []
        if qt6:
            os.makedirs(os.path.join(work, "qt6", "Config"))
            chipctl6 = os.path.join(work, "qt6", "Chipctl")
            shutil.copy2(qt6["chipctl"], chipctl6)
            qt6_startup = [("reference, Qt 6", [qt6["minimal"]]), ("version, Qt 6", [chipctl6, "version"])]

        if args.startup_only:
            startup_rows(args, minimal, chipctl, qt6_startup, work)
            return

        sim = subprocess.Popen(
            [sim_bin, "--base-port", "0", "--duts", "2", "--state-dir", os.path.join(work, "state"),
             "--trace", traces, "--delivery", args.delivery],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        ready = sim.stdout.readline().split()
        if not ready or ready[0] != "ready":
            sys.exit("stationsim did not get ready")
        urls = dict(item.split("=", 1) for item in ready[1:])
        gm, dut, loader = urls["gm"], urls["dut01"], urls["dut02"]

        def tool(*words):
            r = subprocess.run([chipctl, *words], cwd=work, capture_output=True, timeout=120)
            return r.stdout

        # The DUT gets its ramcode and listens to the golden machine, which
        # transmits for the whole benchmark.
        for name, words in (("entry_boot_mode", (dut, "entry_boot_mode")),
                            ("download ram", (dut, "download", "ram", "0x20000000",
                                              os.path.join(work, "Config", "TK716A_RAM_BIN.bin"))),
                            ("test_dut mac_gm", (dut, "test_dut", "mac_gm", "02:54:4b:00:00:10")),
                            ("rx_gm", (gm, "rx_gm", "10", "3600000", "7"))):
            check_ok(name, tool(*words))

        # "mode write" opens and closes the port and sends nothing: the share
        # of the port itself in the runs below.
        commands = [
            ("version", [chipctl, "version"], None),
            ("mode write (port only)", [chipctl, gm, "mode", "write"], "gm"),
            ("mode read", [chipctl, gm, "mode", "read"], "gm"),
            ("xtal_cap read", [chipctl, gm, "xtal_cap", "read"], "gm"),
            ("rx_dut", [chipctl, dut, "rx_dut", "3000", "7"], "dut01"),
        ]
        if args.baseline_chipctl:
            # In a directory of its own, beside its own Config.
            os.makedirs(os.path.join(work, "baseline", "Config"))
            baseline = os.path.join(work, "baseline", "Chipctl")
            shutil.copy2(args.baseline_chipctl, baseline)
            commands += [
                ("mode read (baseline)", [baseline, gm, "mode", "read"], "gm"),
                ("xtal_cap read (baseline)", [baseline, gm, "xtal_cap", "read"], "gm"),
                ("rx_dut (baseline)", [baseline, dut, "rx_dut", "3000", "7"], "dut01"),
            ]

        # Bytes on the wire and the link's least delay per command, from one
        # traced run each.
        wire = {}
        link = {}
        for name, argv, chip in commands:
            if chip is None:
                wire[name] = 0
                link[name] = 0.0
                continue
            path = os.path.join(traces, chip + ".trace")
            _, offset = trace_bytes(path, 0)
            _, _, out = run_measured(argv, work)
            check_ok(name, out)
            time.sleep(0.2)  # the trace is flushed per delivery
            wire[name], answers, _ = trace_exchange(path, offset)
            link[name] = answers * link_latency(path)

        # Warm-up, then the rounds: the references beside every command.
        samples = measure_rounds(args.rounds, [("reference", [minimal])]
                                 + [(name, argv) for name, argv, _ in commands] + qt6_startup,
                                 work)

        # The ramcode download into the second DUT: its boot ROM is entered
        # again before every (measured) download, the reference run beside it.
        download = ("download ram", [chipctl, loader, "download", "ram", "0x20000000",
                                     os.path.join(work, "Config", "TK716A_RAM_BIN.bin")], "dut02")
        samples[download[0]] = ([], [])
        path = os.path.join(traces, "dut02.trace")
        for rnd in range(max(1, args.download_rounds)):
            check_ok("entry_boot_mode", tool(loader, "entry_boot_mode"))
            _, offset = trace_bytes(path, 0)
            wall, cpu, out = run_measured(download[1], work)
            check_ok(download[0], out)
            samples[download[0]][0].append(wall)
            samples[download[0]][1].append(cpu)
            if rnd == 0:
                time.sleep(0.2)  # the trace is flushed per delivery
                wire[download[0]], answers, _ = trace_exchange(path, offset)
                link[download[0]] = answers * link_latency(path)
            wall, cpu, out = run_measured([minimal], work)
            check_ok("reference", out)
            samples["reference"][0].append(wall)
            samples["reference"][1].append(cpu)
        commands.append(download)

        tool(gm, "rf_stop")

        ref_wall = statistics.median(samples["reference"][0])
        ref_cpu = statistics.median(samples["reference"][1])
        rows = reference_rows(samples)

        def exchange_s(name):
            chip_time = CHIP_TIME_S.get(name.replace(" (baseline)", ""), 0.0)
            return wire[name] * BITS_PER_BYTE / BAUD + chip_time + link[name]

        for name, _, _ in commands:
            wall = statistics.median(samples[name][0])
            cpu = statistics.median(samples[name][1])
            floor = ref_wall + exchange_s(name)
            rows.append(f"| {name} | {wall * 1e3:.1f} | {cpu * 1e3:.1f} | {wire[name]} | "
                        f"{link[name] * 1e3:.0f} | {floor * 1e3:.1f} | {wall / floor:.2f} | "
                        f"{cpu / ref_cpu:.2f} |")
        rows += qt6_rows(samples)
        verdicts = []
        for name, _, _ in commands:
            over = statistics.median(samples[name][0]) - ref_wall - exchange_s(name)
            verdicts.append(f"{name} {over * 1e3:+.1f} ms ({'met' if over <= 0.020 else 'MISSED'})")
        verdicts += qt6_verdicts(samples)
        rows.append("")
        rows.append("Target: a command within 20 ms of its floor; wall - floor: "
                    + ", ".join(verdicts) + ".")
        # What the exchange itself costs: the run beyond opening and closing
        # the port, beside the wire time of its bytes.
        port_wall = statistics.median(samples["mode write (port only)"][0])
        rows.append("")
        rows.append("| command | beyond the port (ms) | wire (+ chip, + link) time (ms) | ratio |")
        rows.append("|---|---:|---:|---:|")
        for name in ("mode read", "xtal_cap read", "rx_dut", "download ram"):
            beyond = (statistics.median(samples[name][0]) - port_wall) * 1e3
            wire_ms = exchange_s(name) * 1e3
            rows.append(f"| {name} | {beyond:.1f} | {wire_ms:.1f} | {beyond / wire_ms:.2f} |")
        table = "\n".join(rows)
        note = (f"{args.rounds} rounds ({args.download_rounds} of download ram), interleaved, "
                f"medians; floor = reference wall time + "
                f"wire time at {BAUD} baud ({BITS_PER_BYTE} bits a byte) + link time; the "
                f"chips' answers delivered as \"{args.delivery}\" (stationsim --delivery), "
                "and \"link\" is what that adds at least (a USB adapter's latency timer after "
                "every answer the command gets). "
                + (QT6_NOTE if qt6 else "") +
                "\"beyond the port\" is a run's wall time less that of \"mode write\", which "
                "opens and closes the port and sends nothing. rx_dut's floor also holds the "
                "simulated chip's 30 ms RF measurement, which no host can shorten.")
        print(table)
        print()
        print(note)
        if args.markdown:
            with open(args.markdown, "w", encoding="utf-8") as f:
                f.write(table + "\n\n" + note + "\n")
    finally:
        if sim is not None and sim.poll() is None:
            sim.send_signal(signal.SIGTERM)
            try:
                sim.wait(timeout=5)
            except subprocess.TimeoutExpired:
                sim.kill()
                sim.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
