#!/usr/bin/env python3
"""Whole test cycles of Benchmate's engine against the simulated station.

For 1, 6, 12 and 24 DUTs, runs cycles of the engine (bench_cycle: the
engine's testThread with the real Chipctl, nothing of the window) against a
simulator of its own, then 24 DUTs again on a busy PC: beside a CPU hog on
every core (stress-ng), as a station PC is loaded when a build or a scan runs
beside the station. It prints a Markdown table of medians over the repeats:

- wall: the cycle's wall time;
- floor: the least time the cycle can take at all (below);
- ratio: wall / floor;
- settles: what Chipctl's 25 ms of quiet after each ramcode probe adds along
  the floor's path (the floor leaves it out: it is Chipctl's own wait, not
  the chips' or the links'), so that wall / (floor + settles) is what the
  process starts and the station's own work cost;
- RX and TX phase: the cycle's time before and after the golden machine's
  "rf_stop", each beside the floor's part of it;
- DUTs/h: DUTs tested per hour at that wall time;
- CPU/DUT: CPU seconds (user + system) per DUT of the engine process and of
  all Chipctl runs together;
- peak RSS of the engine process and of the largest single Chipctl run;
- sim CPU: what the simulator itself used (it shares the machine's cores, a
  real bench's chips do not);
- passed: DUTs that passed RX and TX, per cycle (every one should);
- runs: the Chipctl runs of a cycle that opened a port (each opens one; the
  simulator's trace notes every connection);
- process cost: those runs times what one run of the minimal Qt program
  (bench_minimal_qt) takes at the cycle's concurrency, measured beside the
  cycle in the same run: as many streams as the cycle has DUTs, each
  starting the program again as soon as it ends, over the wall time of all
  their runs. It is what the cycle's runs would cost if each did nothing but
  start; beside the floor (what the links take) it shows which of the two
  bounds the cycle.

The floor is what the chips, their links and the mandated pauses take, with
every Chipctl run and every decision costing nothing. It is counted from the
simulator's wire trace of each run:

    floor = golden machine's wire and link time (set-up, RF off, TX measurements)
          + 30 ms per TX measurement (the golden machine's air time)
          + max over DUTs of the DUT's RX phase:
                its wire and link time before the TX phase
              + 200 ms of reset pulses ("entry_boot_mode")
              + 1000 ms pause after the ramcode download (the engine's)
              + 30 ms per RX measurement (air time)
              + 100 ms per baud switch
          + sum over DUTs of the DUT's wire and link time in the TX phase

where the wire time of a byte is 10 bits at the chip's baud rate at that
moment (115200 unless a "chip baud" note says otherwise), both directions
counted since every exchange is a command and its answer. The link time is
the least a chip's link adds: behind a USB-serial adapter (the simulator's
default delivery, "link delivers: usb" in the trace) every answer waits for
the adapter's latency timer after its last byte, so each run of the chip's
trace records between two host records counts the chip's latency timer;
the other models add nothing at least. The TX phase starts when the golden
machine receives "rf_stop". A DUT's RX phase runs in parallel with the
others; the TX phase takes the DUTs one at a time.

    bench/cycles/bench_cycles.py [--build build] [--duts 1,6,12,24] [--busy 24]
                                 [--repeats 3] [--delivery usb] [--link rfc2217|pty]
                                 [--markdown FILE]
    bench/cycles/bench_cycles.py --results [--build build] [--repeats 5]
                                 [--delivery usb] [--markdown FILE]

With --results it measures instead what the results database costs a cycle
of 24 DUTs: cycles without it, with the station's own SQLite database, and
with that and forwarding to a PostgreSQL server of the benchmark's own,
taken in turn against one simulator in one run (the order rotating from
round to round), each the second cycle of its process. Per way: the median
wall time (from the start to the cycle recorded), its difference to the
cycles without a database, the median time of the record itself, and how
soon after it the cycle was in the factory database.

Needs a built tree (bench_cycle, Chipctl, stationsim and the ramcode image).
Starts and stops its own simulator per DUT count, on free ports with a
temporary state directory. Never run as a test.
"""

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pgserver import PgServer  # noqa: E402

BITS_PER_BYTE = 10
START_BAUD = 115200
RESET_PULSES_S = 0.200
SETTLE_S = 1.000
AIR_TIME_S = 0.030
BAUD_SWITCH_S = 0.100
PROBE_SETTLE_S = 0.025

RECORD = re.compile(r"^\s*(\d+\.\d+) (host>chip|chip>host) ((?:[0-9a-f]{2} )*[0-9a-f]{2})")
NOTE_BAUD = re.compile(r"^\s*(\d+\.\d+) -- chip baud (\d+)")
NOTE_OPEN = re.compile(r" -- (?:rfc2217: client connected|pty: pty opened by a host program)")
NOTE_USB = re.compile(r"-- chip: link delivers: usb \(\d+-byte packets, latency timer (\d+) ms\)")


def read_trace(path, offset):
    """Records of a trace file after `offset`: (time, direction, bytes,
    baud, run) with the chip's baud rate in force and the number of the host
    program's connection they belong to; the number of times a host program
    opened the port; and the new offset."""
    with open(path, "r", encoding="utf-8", errors="replace") as f:
        f.seek(offset)
        text = f.read()
        end = f.tell()
    records = []
    baud = START_BAUD
    opened = 0
    for line in text.splitlines():
        if NOTE_OPEN.search(line):
            opened += 1
            continue
        m = NOTE_BAUD.match(line)
        if m:
            baud = int(m.group(2))
            continue
        m = RECORD.match(line)
        if m:
            data = bytes.fromhex(m.group(3).replace(" ", ""))
            records.append((float(m.group(1)), m.group(2), data, baud, opened))
    return records, opened, end


def link_latency(path):
    """The latency timer of a chip's USB adapter in seconds, from the note at
    the start of its trace; 0 for the other delivery models."""
    with open(path, "r", encoding="utf-8", errors="replace") as f:
        for line in f:
            m = NOTE_USB.search(line)
            if m:
                return int(m.group(1)) / 1000.0
            if " -- chip: link delivers:" in line:
                return 0.0
    return 0.0


def wire(records, latency=0.0):
    """Wire time of the records, plus the link's latency for every answer
    (a run of chip>host records)."""
    answers = sum(1 for i, r in enumerate(records)
                  if r[1] == "chip>host" and (i == 0 or records[i - 1][1] != "chip>host"))
    return sum(len(r[2]) * BITS_PER_BYTE / r[3] for r in records) + answers * latency


def host_text(records):
    return b"".join(r[2] for r in records if r[1] == "host>chip")


def probe_settles(records):
    """How many of the runs in `records` waited for the quiet after a
    ramcode probe: a run whose "version" was answered with "RAMCODE" and
    that then sent its command (Chipctl waits PROBE_SETTLE_S of quiet before
    it, so that a late tail of the answer is not read as the command's)."""
    runs = {}
    for _, direction, data, _, run in records:
        sent, got = runs.setdefault(run, [b"", b""])
        if direction == "host>chip":
            runs[run][0] = sent + data
        else:
            runs[run][1] = got + data
    return sum(1 for sent, got in runs.values()
               if sent.startswith(b"version\r\n") and b"RAMCODE" in got
               and sent.replace(b"version\r\n", b""))


def floor_of(traces, duts, latency):
    """The cycle's floor from the trace records of one run (see above);
    latency: each chip's link latency. A dict: "floor"; its parts before and
    after the golden machine's "rf_stop" ("rxFloor", "txFloor"); the walls
    of those two phases in the trace ("rxWall", "txWall"); and "settles",
    what Chipctl's quiet after a ramcode probe adds on the same path (the
    golden machine's runs, the longest DUT's RX phase, every TX run)."""
    gm = traces["gm"]
    tx_start = None
    sent = b""
    for t, direction, data, _, _ in gm:
        if direction == "host>chip":
            sent += data
            if b"rf_stop" in sent:
                tx_start = t
                break
    if tx_start is None:
        return None
    gm_rx = [r for r in gm if r[0] < tx_start]
    gm_tx = [r for r in gm if r[0] >= tx_start]
    rx_floor = wire(gm_rx, latency["gm"])
    tx_floor = (wire(gm_tx, latency["gm"])
                + AIR_TIME_S * host_text(gm).count(b"start_m_tx_test"))
    settles = probe_settles(gm)
    rx_longest = 0.0
    rx_settles = 0
    end = gm[-1][0]
    for n in range(1, duts + 1):
        name = "dut%02d" % n
        records = traces[name]
        if records:
            end = max(end, records[-1][0])
        rx = [r for r in records if r[0] < tx_start]
        tx = [r for r in records if r[0] >= tx_start]
        text = host_text(rx)
        dut_floor = (wire(rx, latency[name]) + RESET_PULSES_S + SETTLE_S
                     + AIR_TIME_S * text.count(b"start_s_rx_test")
                     + BAUD_SWITCH_S * text.count(b"baudrate"))
        if dut_floor > rx_longest:
            rx_longest = dut_floor
            rx_settles = probe_settles(rx)
        tx_floor += wire(tx, latency[name])
        settles += probe_settles(tx)
    return {
        "floor": rx_floor + rx_longest + tx_floor,
        "rxFloor": rx_floor + rx_longest,
        "txFloor": tx_floor,
        "rxWall": tx_start - gm[0][0],
        "txWall": end - tx_start,
        "settles": (settles + rx_settles) * PROBE_SETTLE_S,
    }


def cpu_seconds(pid):
    """User + system CPU of a running process, from /proc."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def process_cost(program, streams, least_runs=48):
    """Wall seconds a run of `program` takes when `streams` of them run at
    once, each stream starting the next as soon as one ends; and the CPU
    seconds of one run (medians of the children's user + system time)."""
    per_stream = max(2, -(-least_runs // streams))
    devnull = os.open(os.devnull, os.O_WRONLY)
    actions = [(os.POSIX_SPAWN_DUP2, devnull, 1), (os.POSIX_SPAWN_DUP2, devnull, 2)]
    left = streams * per_stream
    running = 0
    cpu = []
    start = time.perf_counter()
    try:
        while left > 0 or running > 0:
            while left > 0 and running < streams:
                os.posix_spawn(program, [program], os.environ, file_actions=actions)
                left -= 1
                running += 1
            _, _, usage = os.wait4(-1, 0)
            running -= 1
            cpu.append(usage.ru_utime + usage.ru_stime)
    finally:
        os.close(devnull)
    wall = time.perf_counter() - start
    return wall / (streams * per_stream), statistics.median(cpu)


def start_simulator(sim_bin, duts, state, trace, delivery, pty_dir=None):
    argv = [sim_bin, "--duts", str(duts), "--base-port", "0", "--state-dir", state,
            "--trace", trace, "--delivery", delivery]
    if pty_dir:
        argv += ["--pty-dir", pty_dir]
    proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    ready = proc.stdout.readline().decode().split()
    if not ready or ready[0] != "ready":
        proc.kill()
        sys.exit("stationsim did not start")
    ports = dict(word.split("=", 1) for word in ready[1:])
    if pty_dir:
        # Local serial devices, as a station's COM ports are: each chip's pty,
        # its RTS and DTR driven through the simulator's preload library.
        ports = {name: os.path.join(pty_dir, name) for name in ports}
    return proc, ports


def station_folder(tools, tmp):
    """A station folder in tmp with Chipctl and the ramcode image."""
    work = os.path.join(tmp, "work")
    config = os.path.join(work, "config", "CHIPCTL", "Config")
    os.makedirs(config)
    shutil.copy2(tools["chipctl"], os.path.join(work, "config", "CHIPCTL", "Chipctl"))
    shutil.copy2(tools["image"], os.path.join(config, "TK716A_RAM_BIN.bin"))
    return work


def start_station(args, tools, duts, tmp, trace):
    """The simulator of a bench, its ports (--link: RFC 2217 or the ptys)
    and the environment the cycle runs in (over ptys, Chipctl's modem-line
    calls go to the simulator through its preload library)."""
    state = os.path.join(tmp, "state")
    os.makedirs(state)
    os.makedirs(trace)
    pty_dir = os.path.join(tmp, "tty") if args.link == "pty" else None
    sim, ports = start_simulator(tools["sim"], duts, state, trace, args.delivery, pty_dir)
    env = dict(os.environ)
    if pty_dir:
        env["LD_PRELOAD"] = tools["ptylines"]
        env["STATIONSIM_PTY_DIR"] = pty_dir
    return sim, ports, env


def start_hogs():
    """A CPU hog on every core (stress-ng), as a busy station PC has."""
    if shutil.which("stress-ng") is None:
        sys.exit("stress-ng is needed for the busy-PC row (Debian: stress-ng)")
    hog = subprocess.Popen(["stress-ng", "--cpu", str(os.cpu_count()), "--quiet"],
                           stdin=subprocess.DEVNULL)
    time.sleep(0.5)
    return hog


def stop_hogs(hog):
    hog.terminate()
    try:
        hog.wait(10)
    except subprocess.TimeoutExpired:
        hog.kill()
        hog.wait()


def bench(args, duts, tools, loaded=False):
    with tempfile.TemporaryDirectory(prefix="bench-cycles-") as tmp:
        work = station_folder(tools, tmp)
        trace = os.path.join(tmp, "trace")
        sim, ports, env = start_station(args, tools, duts, tmp, trace)
        names = ["gm"] + ["dut%02d" % n for n in range(1, duts + 1)]
        offsets = {name: 0 for name in names}
        runs = []
        hog = start_hogs() if loaded else None
        try:
            argv = [tools["cycle"], "./config/CHIPCTL/Config/TK716A_RAM_BIN.bin", "120000",
                    ports["gm"]] + [ports[name] for name in names[1:]]
            for _ in range(args.repeats):
                # The minimal program's cost at this concurrency, just before
                # the cycle and beside the same simulator (and hog).
                run_wall, run_cpu = process_cost(tools["minimal"], duts)
                sim_before = cpu_seconds(sim.pid)
                out = subprocess.run(argv, cwd=work, env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, check=True).stdout
                sim_cpu = cpu_seconds(sim.pid) - sim_before
                result = json.loads(out)
                if result["finished"] != 1:
                    sys.exit("%d DUTs: the cycle did not finish: %s" % (duts, out.decode()))
                # A DUT that fails (on a saturated machine: a 1000 ms step
                # that ran out) is counted, not hidden.
                result["passed"] = sum(1 for d in result["duts"]
                                       if d["rx"] == 4 and d["tx"] == 4)
                traces = {}
                result["runs"] = 0
                for name in names:
                    traces[name], opened, offsets[name] = read_trace(
                        os.path.join(trace, name + ".trace"), offsets[name])
                    result["runs"] += opened
                result["process"] = result["runs"] * run_wall
                result["processCpu"] = result["runs"] * run_cpu
                latency = {name: link_latency(os.path.join(trace, name + ".trace"))
                           for name in names}
                parts = floor_of(traces, duts, latency)
                result.update(parts)
                result["link"] = parts["floor"] - floor_of(
                    traces, duts, {name: 0.0 for name in names})["floor"]
                result["sim"] = sim_cpu
                runs.append(result)
        finally:
            if hog:
                stop_hogs(hog)
            sim.stdin.close()
            try:
                sim.wait(10)
            except subprocess.TimeoutExpired:
                sim.kill()
                sim.wait()
    return runs


RESULT_WAYS = ["none", "local", "factory"]


def bench_results(args, tools, duts=24):
    """Cycles of `duts` DUTs without the results database, with the local
    one, and with forwarding, in turn (see --results above)."""
    runs = {way: [] for way in RESULT_WAYS}
    with tempfile.TemporaryDirectory(prefix="bench-results-") as tmp, PgServer() as pg:
        pg.create_database("factory", tools["benchreport"])
        work = station_folder(tools, tmp)
        with open(os.path.join(work, "config", "station.ini"), "w") as f:
            f.write(pg.station_ini("factory"))
        trace = os.path.join(tmp, "trace")
        sim, ports, env = start_station(args, tools, duts, tmp, trace)
        names = ["gm"] + ["dut%02d" % n for n in range(1, duts + 1)]
        try:
            for repeat in range(args.repeats):
                order = RESULT_WAYS[repeat % 3:] + RESULT_WAYS[:repeat % 3]
                for way in order:
                    argv = [tools["cycle"], "--results", way, "--warm-up",
                            "./config/CHIPCTL/Config/TK716A_RAM_BIN.bin", "120000",
                            ports["gm"]] + [ports[name] for name in names[1:]]
                    out = subprocess.run(argv, cwd=work, env=env, stdout=subprocess.PIPE,
                                         stderr=subprocess.PIPE, check=True)
                    result = json.loads(out.stdout)
                    for line in out.stderr.decode(errors="replace").splitlines():
                        if line.startswith(("not recorded:", "not forwarded:")):
                            sys.exit("%s: %s" % (way, line))
                    result["passed"] = sum(1 for d in result["duts"]
                                           if d["rx"] == 4 and d["tx"] == 4)
                    runs[way].append(result)
                    print("round %d, %s: %.2f s, record %.1f ms, forwarded %.0f ms after"
                          % (repeat + 1, way, result["wall"], result["recordMs"],
                             result["forwardMs"]), file=sys.stderr, flush=True)
        finally:
            sim.stdin.close()
            try:
                sim.wait(10)
            except subprocess.TimeoutExpired:
                sim.kill()
                sim.wait()
    return runs


def results_table(args, tools):
    runs = bench_results(args, tools)
    med = statistics.median
    base = med(r["wall"] for r in runs["none"])
    titles = {"none": "no results database", "local": "station's SQLite database",
              "factory": "SQLite + forwarding to PostgreSQL"}
    lines = [
        "| results | cycles | passed | wall s (median) | vs none | record ms (median) "
        "| record / wall | engine CPU s (median) | in the factory database ms after (median) |",
        "|---|---:|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for way in RESULT_WAYS:
        rs = runs[way]
        wall = med(r["wall"] for r in rs)
        lines.append("| %s | %d | %s | %.2f | %+.2f %% | %s | %s | %.3f | %s |" % (
            titles[way], len(rs), "/".join(str(r["passed"]) for r in rs), wall,
            100.0 * (wall - base) / base,
            "-" if way == "none" else "%.1f" % med(r["recordMs"] for r in rs),
            "-" if way == "none" else "%.3f %%" % med(100.0 * r["recordMs"] / 1000.0 / r["wall"]
                                                      for r in rs),
            med(r["cpuSelf"] for r in rs),
            "%.0f" % med(r["forwardMs"] for r in rs) if way == "factory" else "-"))
    table = "\n".join(lines) + "\n"
    notes = ("\n24 DUTs, %d cycles of each way taken in turn against one simulator in one run; "
             "wall time from the cycle's start to its record written (the record is the cycle's "
             "only added step: forwarding runs in a thread of its own). Each measured cycle "
             "follows an unmeasured one in the same process, as in a station that has been "
             "running: the database open, the forwarder connected, the previous cycle's record "
             "going over while the measured cycle starts. Engine CPU: the measured cycle "
             "process's own user + system time, forwarder thread included. All walls: %s.\n"
             % (args.repeats, "; ".join("%s %s" % (way, " ".join("%.2f" % r["wall"]
                                                                 for r in runs[way]))
                                        for way in RESULT_WAYS)))
    print(table + notes, end="")
    if args.markdown:
        with open(args.markdown, "w", encoding="utf-8") as f:
            f.write(table + notes)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(root, "build"))
    ap.add_argument("--duts", default="1,6,12,24")
    ap.add_argument("--repeats", type=int, default=3)
    ap.add_argument("--delivery", default="usb",
                    help="how the simulated chips' answers reach the host (stationsim --delivery)")
    ap.add_argument("--link", choices=["rfc2217", "pty"], default="rfc2217",
                    help="how Chipctl reaches the chips: the simulator's RFC 2217 ports, or its "
                         "ptys as local serial devices (their RTS and DTR through "
                         "stationsim_ptylines.so, preloaded)")
    ap.add_argument("--markdown", help="also write the table to this file")
    ap.add_argument("--busy", type=int, default=24,
                    help="DUTs of the busy-PC row (a CPU hog on every core); 0: no such row")
    ap.add_argument("--results", action="store_true",
                    help="compare 24-DUT cycles without and with the results database")
    args = ap.parse_args()

    build = os.path.abspath(args.build)
    tools = {
        "cycle": os.path.join(build, "bin", "bench_cycle"),
        "sim": os.path.join(build, "bin", "stationsim"),
        "chipctl": os.path.join(build, "station", "config", "CHIPCTL", "Chipctl"),
        "benchreport": os.path.join(build, "station", "benchreport"),
        "image": os.path.join(build, "station", "config", "CHIPCTL", "Config",
                              "TK716A_RAM_BIN.bin"),
        "minimal": os.path.join(build, "bin", "bench_minimal_qt"),
        "ptylines": os.path.join(build, "bin", "stationsim_ptylines.so"),
    }
    for path in tools.values():
        if not os.path.exists(path):
            sys.exit("missing %s: build the tree first" % path)
    if args.results:
        results_table(args, tools)
        return

    med = statistics.median
    lines = [
        "| DUTs | passed | wall s | floor s | of it link s | ratio | settles s "
        "| RX phase s (floor) | TX phase s (floor) | runs | process cost s | DUTs/h | engine CPU s/DUT | Chipctl CPU s/DUT | minimal-program CPU s/DUT "
        "| cores busy | engine peak RSS MiB | Chipctl peak RSS MiB | sim CPU s |",
        "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
        "---:|---:|",
    ]
    verdicts = []
    quiet_wall = {}
    rows = [(int(n), False) for n in args.duts.split(",")]
    if args.busy > 0:
        rows.append((args.busy, True))
    for duts, loaded in rows:
        runs = bench(args, duts, tools, loaded)
        wall = med(r["wall"] for r in runs)
        floor = med(r["floor"] for r in runs)
        ratio = med(r["wall"] / r["floor"] for r in runs)
        # The station's own CPU (engine and every Chipctl run) over the
        # cycle's wall time: the cores it keeps busy on average.
        busy = med((r["cpuSelf"] + r["cpuTools"]) / r["wall"] for r in runs)
        passed_all = all(r["passed"] == duts for r in runs)
        if loaded:
            verdicts.append("- %d DUTs on a busy PC: %d of %d passed: %s; wall %.1f s against "
                            "%.1f s quiet" % (
                                duts, sum(r["passed"] for r in runs), duts * len(runs),
                                "met" if passed_all else "MISSED", wall,
                                quiet_wall.get(duts, float("nan"))))
        else:
            quiet_wall[duts] = wall
            verdicts.append("- %d DUTs: wall / floor %.2f %s 1.25: %s; station CPU %.2f of %d cores"
                            % (duts, ratio, "≤" if ratio <= 1.25 else ">",
                               "met" if ratio <= 1.25 else "MISSED", busy, os.cpu_count()))
        lines.append(
            "| %s | %s | %.1f | %.1f | %.1f | %.2f | %.1f | %.1f (%.1f) | %.1f (%.1f) | %.0f "
            "| %.1f | %.0f | %.3f | %.3f | %.3f | %.2f | %.1f | %.1f | %.1f |"
            % (
                "%d, busy PC" % duts if loaded else str(duts),
                "/".join(str(r["passed"]) for r in runs),
                wall, floor, med(r["link"] for r in runs), ratio,
                med(r["settles"] for r in runs),
                med(r["rxWall"] for r in runs), med(r["rxFloor"] for r in runs),
                med(r["txWall"] for r in runs), med(r["txFloor"] for r in runs),
                med(r["runs"] for r in runs), med(r["process"] for r in runs),
                duts * 3600.0 / wall,
                med(r["cpuSelf"] for r in runs) / duts,
                med(r["cpuTools"] for r in runs) / duts,
                med(r["processCpu"] for r in runs) / duts,
                busy,
                max(r["rssSelfKb"] for r in runs) / 1024.0,
                max(r["rssToolKb"] for r in runs) / 1024.0,
                med(r["sim"] for r in runs)))
        print(lines[-1] if len(lines) > 3 else "\n".join(lines), flush=True)
    table = "\n".join(lines) + "\n"
    notes = ("\nMedians of %d cycles per row (peak RSS: the largest); %d CPU cores; the "
             "chips' answers delivered as \"%s\" (stationsim --delivery). \"Of it link\": the "
             "part of the floor the links add at least (a USB adapter's latency timer after "
             "every answer). Settles: what Chipctl's 25 ms of quiet after a ramcode probe "
             "(before its command, so that a late tail of the probe's answer is not read as "
             "the command's) adds along the floor's path; the floor leaves it out. RX and TX "
             "phase: the cycle's time before and after the golden machine's \"rf_stop\" "
             "in the traces, with the floor's part of each. Runs: the cycle's Chipctl runs "
             "that opened a port. Process "
             "cost: those runs times the wall time a run of the minimal Qt program takes "
             "when as many run at once as the cycle has DUTs, measured before each cycle "
             "beside the same simulator; minimal-program CPU: those runs times its CPU "
             "time a run. Cores busy: the engine's and all Chipctl runs' CPU seconds over "
             "the cycle's wall time. Target: a cycle within 25 %% of its floor "
             "(wall / floor ≤ 1.25), and the station's CPU well below the cores. The busy-PC "
             "row runs beside a CPU hog on every core (stress-ng --cpu %d), as a station PC is "
             "loaded when a build or a scan runs beside the station; its target: every DUT "
             "passes.\n\n%s\n"
             % (args.repeats, os.cpu_count(), args.delivery, os.cpu_count(),
                "\n".join(verdicts)))
    if args.markdown:
        with open(args.markdown, "w", encoding="utf-8") as f:
            f.write(table + notes)
    print(notes, end="")


if __name__ == "__main__":
    main()
