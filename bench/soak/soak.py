#!/usr/bin/env python3
"""Soak benchmark: many consecutive test cycles of the whole station.

    bench/soak/soak.py BUILD_DIR [--cycles 100] [--duts 24] [--noise 0.05]
                                 [--gm-noise X] [--report FILE]

Sets up a station directory of its own (the build's Chipctl and ramcode
image), starts stationsim with line noise on every chip's port (--gm-noise
sets the golden machine's apart), and runs benchrun --cycles N in it while
sampling the resident memory of benchrun and stationsim once a second.

It checks: benchrun and the simulator never crash; no cycle hangs (each
cycle must end within --cycle-limit seconds); the daily log holds one whole
block per cycle and the results file one row per DUT per cycle, with no
partial block or line; every DUT the cycle tables show is in both files;
memory stays flat (the growth between the end of the first tenth of the
cycles and the end of the run). Prints the figures; --report writes them as
a Markdown table. Exit status 0 when every check holds.
"""
import argparse
import datetime
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time


def rss_kb(pid):
    try:
        with open('/proc/%d/status' % pid) as f:
            for line in f:
                if line.startswith('VmRSS:'):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('build')
    ap.add_argument('--cycles', type=int, default=100)
    ap.add_argument('--duts', type=int, default=24)
    ap.add_argument('--noise', type=float, default=0.05)
    ap.add_argument('--gm-noise', type=float, default=0.0,
                    help="the golden machine's line noise (default 0: see README.md)")
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--cycle-limit', type=int, default=400, help='seconds a cycle may take')
    ap.add_argument('--report')
    args = ap.parse_args()
    gm_noise = args.gm_noise

    build = os.path.abspath(args.build)
    chipctl = os.path.join(build, 'station/config/CHIPCTL/Chipctl')
    ramcode = os.path.join(build, 'station/config/CHIPCTL/Config/TK716A_RAM_BIN.bin')
    benchrun = os.path.join(build, 'station/benchrun')
    stationsim = os.path.join(build, 'bin/stationsim')
    for path in (chipctl, ramcode, benchrun, stationsim):
        if not os.path.exists(path):
            sys.exit('soak: %s is missing: build the station first' % path)

    station = tempfile.mkdtemp(prefix='station-soak-')
    tool_dir = os.path.join(station, 'config/CHIPCTL/Config')
    os.makedirs(tool_dir)
    os.makedirs(os.path.join(station, 'log'))
    shutil.copy2(chipctl, os.path.join(station, 'config/CHIPCTL/Chipctl'))
    shutil.copy2(ramcode, tool_dir)
    scenario = {'duts': args.duts, 'seed': args.seed,
                'dutDefaults': {'faults': {'lineNoise': args.noise}},
                'chips': {'gm': {'faults': {'lineNoise': gm_noise}}}}
    with open(os.path.join(station, 'scenario.json'), 'w') as f:
        json.dump(scenario, f)

    sim = subprocess.Popen([stationsim, '--base-port', '0', '--scenario', 'scenario.json',
                            '--state-dir', os.path.join(station, 'state'),
                            '--write-device-config', 'config/device_config.csv',
                            '--firmware-path', os.path.join(tool_dir, 'TK716A_RAM_BIN.bin')],
                           cwd=station, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    ready = sim.stdout.readline()
    if not ready.startswith('ready'):
        sim.kill()
        sys.exit('soak: the simulator did not start')

    problems = []
    samples = []  # (seconds, cycle, benchrun kB, stationsim kB)
    cycle_ends = []  # (cycle, seconds, duration, passed, failed, station error)
    table = {}  # cycle -> list of (slot, verdict)
    started = time.monotonic()
    run = subprocess.Popen([benchrun, '--cycles', str(args.cycles)], cwd=station,
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    state = {'cycle': 0, 'last': time.monotonic(), 'done': False}

    def sample():
        while not state['done']:
            b = rss_kb(run.pid)
            s = rss_kb(sim.pid)
            if b is not None and s is not None:
                samples.append((time.monotonic() - started, state['cycle'], b, s))
            if time.monotonic() - state['last'] > args.cycle_limit:
                problems.append('cycle %d did not end within %d s: benchrun killed'
                                % (state['cycle'] + 1, args.cycle_limit))
                run.kill()
                return
            time.sleep(1.0)

    sampler = threading.Thread(target=sample, daemon=True)
    sampler.start()
    heading = re.compile(r'^Cycle (\d+) of \d+: \d+ DUT\(s\), ([\d.]+) s(.*)$')
    row = re.compile(r'^ +(\d+) +DUT\d+ +\S+ +\S+ +(PASS|FAIL|ERROR \((?:RX|TX|cycle)\)|not judged) +\S+ +\S+ +\S+ +\S+ *(.*)$')
    notes = {}
    current = None
    for line in run.stdout:
        line = line.rstrip('\n')
        m = heading.match(line)
        if m:
            current = int(m.group(1))
            state['cycle'] = current
            state['last'] = time.monotonic()
            table[current] = []
            cycle_ends.append([current, time.monotonic() - started, float(m.group(2)), 0, 0,
                               'golden machine error' in m.group(3) or 'did not' in m.group(3)])
            continue
        m = row.match(line)
        if m and current is not None:
            table[current].append((int(m.group(1)), m.group(2)))
            if m.group(2) == 'PASS':
                cycle_ends[-1][3] += 1
            else:
                cycle_ends[-1][4] += 1
                note = m.group(3).strip() or m.group(2)
                notes[note] = notes.get(note, 0) + 1
    status = run.wait()
    state['done'] = True
    sampler.join()
    elapsed = time.monotonic() - started
    sim_alive = sim.poll() is None
    sim.stdin.close()
    try:
        sim_status = sim.wait(10)
    except subprocess.TimeoutExpired:
        sim.kill()
        sim_status = 'killed'

    if status < 0:
        problems.append('benchrun died of signal %d' % -status)
    elif status not in (0, 3):
        problems.append('benchrun exit status %d' % status)
    if not sim_alive:
        problems.append('the simulator ended during the run')
    elif sim_status != 0:
        problems.append('the simulator ended with status %s' % sim_status)
    if len(cycle_ends) != args.cycles:
        problems.append('%d of %d cycles ended' % (len(cycle_ends), args.cycles))

    # The files.
    day = datetime.date.today().strftime('%Y-%m-%d')
    with open(os.path.join(station, 'log', day + '.txt'), 'rb') as f:
        log = f.read().decode('utf-8')
    with open(os.path.join(station, 'log', day + '.csv'), 'rb') as f:
        csv = f.read().decode('utf-8')
    blocks = re.findall(r'第(\d+)次测试开始:\r\n', log)
    ends = re.findall(r'第(\d+)次测试结束。\r\n', log)
    if blocks != ends or len(blocks) != len(cycle_ends) or not log.endswith('测试结束。\r\n'):
        problems.append('daily log: %d blocks begun, %d ended, %d cycles' % (len(blocks), len(ends), len(cycle_ends)))
    rows = [r.split(',') for r in csv.split('\r\n')[1:] if r]
    if not csv.endswith('\r\n'):
        problems.append('results file ends in a partial line')
    if any(len(r) != 20 for r in rows):
        problems.append('results file has rows with a wrong field count')
    # Each cycle writes one row per DUT, in slot order, in one piece.
    numbers = [int(n) for n in blocks]
    if len(rows) != args.duts * len(cycle_ends):
        problems.append('results file: %d rows for %d cycles' % (len(rows), len(cycle_ends)))
    for k in range(min(len(cycle_ends), len(numbers))):
        group = rows[k * args.duts:(k + 1) * args.duts]
        shown = sorted(slot for slot, _ in table.get(k + 1, []))
        if [int(r[2]) for r in group] != shown or any(int(r[1]) != numbers[k] for r in group):
            problems.append('cycle %d: the table and the results file disagree' % (k + 1))
            break
    starts = log.count(': Start test....')
    reached = sum(1 for c in cycle_ends if not c[5])
    if starts != args.duts * reached:
        problems.append('daily log: %d DUT sections for %d cycles that reached the DUTs' % (starts, reached))

    # Memory: the highest resident size in the first tenth of the run against
    # the highest in the last tenth.
    tenth = max(1, args.cycles // 10)
    last = len(cycle_ends)
    growth = {}
    for name, column in (('benchrun', 2), ('stationsim', 3)):
        early = max((s[column] for s in samples if s[1] < tenth), default=None)
        late = max((s[column] for s in samples if s[1] >= last - tenth), default=None)
        peak = max((s[column] for s in samples), default=0)
        growth[name] = (early, late, peak)
        if early and late and late - early > max(2048, early // 10):
            problems.append('%s memory grew from %d kB to %d kB' % (name, early, late))

    durations = [c[2] for c in cycle_ends]
    passed = sum(c[3] for c in cycle_ends)
    failed = sum(c[4] for c in cycle_ends)
    station_errors = sum(1 for c in cycle_ends if c[5])
    lines = [
        '| figure | value |',
        '| --- | --- |',
        '| cycles | %d of %d, %d DUTs each, line noise %.3g (golden machine %.3g) |' % (len(cycle_ends), args.cycles, args.duts, args.noise, gm_noise),
        '| wall time | %.0f s (cycle min %.1f s, mean %.1f s, max %.1f s) |' % (
            elapsed, min(durations, default=0), sum(durations) / max(1, len(durations)), max(durations, default=0)),
        '| DUT verdicts | %d pass, %d fail or error; %d cycles with a golden-machine error |' % (passed, failed, station_errors),
        '| notes of failed DUTs | %s |' % (', '.join('%s %d' % (n, c) for n, c in sorted(notes.items(), key=lambda x: -x[1])) or '-'),
        '| daily log | %d whole blocks; results file %d rows |' % (len(blocks), len(rows)),
        '| benchrun RSS | %s kB in the first %d cycles, %s kB in the last %d, peak %d kB (%d samples) |' % (growth['benchrun'][0], tenth, growth['benchrun'][1], tenth, growth['benchrun'][2], len(samples)),
        '| stationsim RSS | %s kB in the first %d cycles, %s kB in the last %d, peak %d kB |' % (growth['stationsim'][0], tenth, growth['stationsim'][1], tenth, growth['stationsim'][2]),
        '| exit | benchrun %s, stationsim %s |' % (status, sim_status),
        '| verdict | %s |' % ('all checks hold' if not problems else '; '.join(problems)),
    ]
    print('\n'.join(lines))
    if args.report:
        with open(args.report, 'w') as f:
            f.write('\n'.join(lines) + '\n')
    if not problems:
        shutil.rmtree(station, ignore_errors=True)
    else:
        print('station directory kept: %s' % station)
    return 0 if not problems else 1


if __name__ == '__main__':
    sys.exit(main())
