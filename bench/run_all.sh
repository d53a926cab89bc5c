#!/usr/bin/env bash
# Runs every benchmark against the simulated station and writes
# docs/performance.md.
#
#   bench/run_all.sh BUILD_DIR [OUTPUT]
#   bench/run_all.sh --report-only BUILD_DIR [OUTPUT]
#
# BUILD_DIR is a built tree (./station build); OUTPUT defaults to
# docs/performance.md. The tables of the last run stay in
# BUILD_DIR/bench-results; --report-only writes the report again from them
# (after bench/misses.md changed) without measuring anything. Each area's figures are medians of repeated runs,
# measured side by side with their reference in the same run. Repetitions
# can be changed through the environment: BENCH_ROUNDS (Chipctl commands,
# 30), BENCH_DOWNLOAD_ROUNDS (5), BENCH_TRANSFER_RUNS (5 ramcode loads of
# each sender), BENCH_FLASH_RUNS (3 flash writes and 3 reads),
# BENCH_CYCLE_REPEATS (3), BENCH_IDLE_REPEATS (3), BENCH_RESULTS_REPEATS (5
# cycles of 24 DUTs for each way of keeping results), BENCH_FORWARD_CYCLES
# (1000 cycles recorded and forwarded per run, 3 runs). With the defaults it
# takes about 17 minutes on a 2-core machine. BENCH_QT6_BUILD names a tree
# built with Qt 6 (./station bench builds build-qt6): Chipctl's start-up is
# then measured under both Qt versions.
set -euo pipefail

REPORT_ONLY=0
if [ "${1:-}" = "--report-only" ]; then REPORT_ONLY=1; shift; fi
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build}" && pwd)"
OUT="${2:-$ROOT/docs/performance.md}"

ROUNDS="${BENCH_ROUNDS:-30}"
DOWNLOAD_ROUNDS="${BENCH_DOWNLOAD_ROUNDS:-5}"
TRANSFER_RUNS="${BENCH_TRANSFER_RUNS:-5}"
FLASH_RUNS="${BENCH_FLASH_RUNS:-3}"
CYCLE_REPEATS="${BENCH_CYCLE_REPEATS:-3}"
IDLE_REPEATS="${BENCH_IDLE_REPEATS:-3}"
RESULTS_REPEATS="${BENCH_RESULTS_REPEATS:-5}"
FORWARD_CYCLES="${BENCH_FORWARD_CYCLES:-1000}"

say() { printf '[bench] %s\n' "$*" >&2; }

for tool in "$BUILD/bin/stationsim" "$BUILD/bin/bench_transfers" "$BUILD/bin/bench_cycle" \
    "$BUILD/bin/bench_minimal_qt" "$BUILD/bin/bench_forward" "$BUILD/station/Benchmate" \
    "$BUILD/station/config/CHIPCTL/Chipctl"; do
    [ -x "$tool" ] || { say "missing $tool: build the tree first (./station build)"; exit 1; }
done
command -v sz >/dev/null 2>&1 || { say "missing sz (Debian's lrzsz)"; exit 1; }

TMP="$BUILD/bench-results"
mkdir -p "$TMP"

# run_area NAME COMMAND...: runs one benchmark; its table goes to
# $TMP/NAME.md, its progress to the terminal. A benchmark that fails leaves
# its failure in the report instead of its table, and the others still run.
failed=()
run_area() {
    local name="$1"; shift
    local started=$SECONDS
    say "$name: $*"
    if "$@" >"$TMP/$name.out" 2> >(tee "$TMP/$name.err" >&2); then
        say "$name: done in $((SECONDS - started)) s"
    else
        say "$name: FAILED"
        failed+=("$name")
        { echo "**This benchmark failed.** Its last words:"; echo; echo '```';
          tail -n 15 "$TMP/$name.err"; echo '```'; } >"$TMP/$name.md"
        return 0
    fi
    [ -s "$TMP/$name.md" ] || cp "$TMP/$name.out" "$TMP/$name.md"
}

total_started=$SECONDS
if [ "$REPORT_ONLY" = 1 ]; then
    [ -s "$TMP/idle.md" ] || { say "no results in $TMP: run the benchmarks first"; exit 1; }
else
rm -f "$TMP"/*
qt6_args=()
[ -n "${BENCH_QT6_BUILD:-}" ] && qt6_args=(--qt6-build "$BENCH_QT6_BUILD")
run_area commands python3 "$ROOT/bench/chipctl/bench_commands.py" --build "$BUILD" \
    "${qt6_args[@]}" --rounds "$ROUNDS" --download-rounds "$DOWNLOAD_ROUNDS" \
    --markdown "$TMP/commands.md"
run_area transfers "$BUILD/bin/bench_transfers" --runs "$TRANSFER_RUNS" \
    --flash-runs "$FLASH_RUNS" --read-runs "$FLASH_RUNS"
run_area cycles python3 "$ROOT/bench/cycles/bench_cycles.py" --build "$BUILD" \
    --repeats "$CYCLE_REPEATS" --markdown "$TMP/cycles.md"
run_area cycles-pty python3 "$ROOT/bench/cycles/bench_cycles.py" --build "$BUILD" \
    --repeats "$CYCLE_REPEATS" --link pty --duts 24 --busy 0 --markdown "$TMP/cycles-pty.md"
run_area idle python3 "$ROOT/bench/idle/bench_idle.py" --build "$BUILD" \
    --repeats "$IDLE_REPEATS" --window 10 --markdown "$TMP/idle.md"
run_area cycles-results python3 "$ROOT/bench/cycles/bench_cycles.py" --build "$BUILD" \
    --results --repeats "$RESULTS_REPEATS" --markdown "$TMP/cycles-results.md"
run_area results python3 "$ROOT/bench/results/bench_results.py" --build "$BUILD" \
    --cycles "$FORWARD_CYCLES" --markdown "$TMP/results.md"
echo $(((SECONDS - total_started + 30) / 60)) >"$TMP/minutes"
date -u '+%Y-%m-%d %H:%M UTC' >"$TMP/date"
fi
minutes="$(cat "$TMP/minutes")"

cpu="$(LC_ALL=C lscpu 2>/dev/null | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)"
mem="$(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
commit="$(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo unknown)"
git -C "$ROOT" diff --quiet HEAD 2>/dev/null || commit="$commit (with local changes)"
buildtype="$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$BUILD/CMakeCache.txt" 2>/dev/null)"

# The commands table holds both the start-up figures and the per-command
# ones; the report shows it under both headings.
split_commands() {
    # Start-up: the references and "version".
    awk 'NR <= 2 || /^\| (minimal Qt|\/bin\/true|version)[ ,]/' "$TMP/commands.md" | sed '/^$/q'
}

mkdir -p "$(dirname "$OUT")"
{
    cat <<EOF
# Performance

Written by \`./station bench\` (bench/run_all.sh). Every figure is the median
of repeated runs, measured in the same run as its reference, because the
machine is shared and noisy: compare the ratios, not the seconds, between
machines.

- Date: $(cat "$TMP/date")
- Machine: ${cpu:-unknown CPU}, $(nproc) cores, $mem memory, Linux $(uname -r)
- Tree: commit $commit, build type ${buildtype:-unknown}
- The whole run took about $minutes minutes.

Each area's table is followed by its targets and whether this run met them.
A figure marked MISSED is explained under "Misses" below.

## 1. Chipctl start-up

\`Chipctl version\` against a minimal Qt console program (\`bench_minimal_qt\`:
a QCoreApplication that prints a line) and \`/bin/true\`, run after each other
round by round, $ROUNDS rounds. Wall time from fork to exit; CPU is the
child's user + system time. The rows marked Qt 6 are the same sources built
with Qt 6 (build-qt6/), against the minimal program built with Qt 6, in the
same rounds.

EOF
    if [ -s "$TMP/commands.md" ] && grep -q '^| version ' "$TMP/commands.md"; then
        split_commands
    else
        cat "$TMP/commands.md"
    fi
    cat <<EOF

Reproduce: \`python3 bench/chipctl/bench_commands.py --build build --qt6-build build-qt6 --rounds $ROUNDS\`
(the same run gives this table and the next; \`--startup-only\` gives this one alone).

## 2. Per-command cost

Whole Chipctl runs against the simulator over RFC 2217, $ROUNDS rounds
($DOWNLOAD_ROUNDS for "download ram", which loads the 24 KiB ramcode into a
second DUT after an unmeasured "entry_boot_mode"). The chips' answers reach
Chipctl as through a USB-serial adapter (the simulator's default delivery).
The floor is the minimal Qt program's wall time plus the wire time of the
bytes the command exchanged (counted from the simulator's wire trace, 10 bits
a byte at 115200 baud), plus the adapter's latency timer for every answer
("link"), plus the simulated radio's 30 ms for "rx_dut".

EOF
    cat "$TMP/commands.md"
    cat <<EOF

Reproduce: \`python3 bench/chipctl/bench_commands.py --build build --rounds $ROUNDS --download-rounds $DOWNLOAD_ROUNDS\`

## 3. Transfers

YMODEM and flash transfers on the simulator's paced serial link, each against
the wire-time limit of the bytes that crossed it and the latency timer of the
chip's USB-serial adapter for each of its answers; lrzsz's \`sz\` sends the
same ramcode on the same pty. $TRANSFER_RUNS runs of each ramcode load (taking turns),
$FLASH_RUNS flash writes and $FLASH_RUNS flash reads of 1 MiB.

EOF
    cat "$TMP/transfers.md"
    cat <<EOF

Reproduce: \`build/bin/bench_transfers --runs $TRANSFER_RUNS --flash-runs $FLASH_RUNS --read-runs $FLASH_RUNS\`
(see bench/transfers/README.md).

## 4. Test cycles

Whole cycles of Benchmate's test engine (\`bench_cycle\`: the engine's test
thread with the real Chipctl, without the window) against a simulator of its
own per DUT count, $CYCLE_REPEATS cycles each, every chip behind a simulated
USB-serial adapter. The floor is what the chips, their adapters and the
mandated pauses take with every Chipctl run costing nothing, counted from the
simulator's wire traces (bench/cycles/bench_cycles.py explains it). Beside
it, the process cost: the cycle's Chipctl runs times what a run of the
minimal Qt program takes when as many run at once as the cycle has DUTs,
measured before each cycle in the same run; the larger of the two bounds
the cycle. The row
"24, busy PC" runs the same cycles beside a CPU hog on every core
(\`stress-ng --cpu N\`), as a station PC is loaded when a build or a scan runs
beside the station: every DUT must still pass; its wall time stands beside
the quiet row's.

EOF
    cat "$TMP/cycles.md"
    cat <<EOF

The same 24-DUT cycle with every chip a local serial device (the simulator's
ptys, as a station's COM ports are), Chipctl taking its local-port module;
the reset lines travel through the simulator's preload library
(docs/simulator.md):

EOF
    cat "$TMP/cycles-pty.md"
    cat <<EOF

Reproduce: \`python3 bench/cycles/bench_cycles.py --build build --repeats $CYCLE_REPEATS\`
(\`--link pty --duts 24 --busy 0\` for the local-device row)

## 5. Idle cost

EOF
    cat "$TMP/idle.md"
    cat <<EOF

Reproduce: \`python3 bench/idle/bench_idle.py --build build --repeats $IDLE_REPEATS --window 10\`

## 6. Results database

What keeping the results costs a cycle of 24 DUTs: cycles without the
results database, with the station's own SQLite file, and with that and
forwarding to a PostgreSQL server of the benchmark's own, taken in turn
against one simulator, $RESULTS_REPEATS of each. Target: recording (and
forwarding) make a cycle less than 1 % slower.

EOF
    cat "$TMP/cycles-results.md"
    cat <<EOF

Reproduce: \`python3 bench/cycles/bench_cycles.py --build build --results --repeats $RESULTS_REPEATS\`

Recording and forwarding alone, without the chips: $FORWARD_CYCLES cycles of
24 DUTs recorded one by one, then forwarded as one backlog.

EOF
    cat "$TMP/results.md"
    cat <<EOF

Reproduce: \`python3 bench/results/bench_results.py --build build --cycles $FORWARD_CYCLES\`

EOF
    if [ -f "$ROOT/bench/misses.md" ]; then
        cat "$ROOT/bench/misses.md"
    fi
    if [ -f "$ROOT/bench/startup.md" ]; then
        echo
        cat "$ROOT/bench/startup.md"
    fi
} >"$OUT"

say "wrote $OUT (about $minutes minutes)"
if [ "${#failed[@]}" -gt 0 ]; then
    say "FAILED: ${failed[*]}"
    exit 1
fi
