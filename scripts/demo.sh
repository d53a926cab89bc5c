#!/usr/bin/env bash
# The station's main job, against the simulated station:
#   scripts/demo.sh [BUILD_DIR] [--factory]   (./station demo [--factory]
#                                              calls it after the build)
#
# 1. Starts stationsim: a golden machine and 24 healthy DUTs on RFC 2217 ports
#    of 127.0.0.1 (a free range), its chip state in a temporary directory.
#    Each chip's answers reach the host as through a USB-serial adapter (the
#    simulator's default delivery: packets and a latency timer).
# 2. Prepares BUILD_DIR/station: its device table (config/device_config.csv)
#    points at the simulator's ports, with the simulator's ramcode image as
#    firmware, limits a healthy simulated DUT passes and a time-out long
#    enough for a whole DUT run. The counters and the starting crystal value
#    of a previous demo carry over. A table the demo did not write is never
#    replaced: the demo stops and says what to do.
# 3. Opens Benchmate when a display is available; otherwise runs benchrun for
#    two cycles, which prints a table per cycle and a yield summary.
# 4. Prints the yield report (benchreport) of the demo's cycles from the
#    station's results database, log/results.sqlite.
#
# With --factory it shows a factory instead: a PostgreSQL server of its own
# (initdb into a temporary folder, 127.0.0.1 on a free port), two stations
# side by side (two simulators, two benchruns in station folders of their
# own) forwarding their cycles into it, and the factory's yield report. The
# second station has a fixture fault on slot 3 (a bad RF path), which the
# report flags. Everything it started is stopped at the end.
#
# Ctrl-C, closing the window or an error stops everything the demo started.
#
# Environment:
#   STATION_DEMO_MODE=window|console   force one of the two (default: by display)
#   STATION_DEMO_CYCLES=N              benchrun's cycles (default 2)
#   STATION_DEMO_SCENARIO=FILE         a stationsim scenario instead of the
#                                      healthy station (docs/simulator.md)
#   STATION_DEMO_DUTS=N                --factory: DUTs per station (default 12)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
FACTORY=0
BUILD_ARG=""
for arg in "$@"; do
    case "$arg" in
    --factory) FACTORY=1 ;;
    -*)
        echo "usage: scripts/demo.sh [BUILD_DIR] [--factory]" >&2
        exit 2
        ;;
    *) BUILD_ARG="$arg" ;;
    esac
done
BUILD="$(realpath "${BUILD_ARG:-$ROOT/build}")"
if [ "$FACTORY" = 1 ]; then
    exec "$ROOT/scripts/demo-factory.sh" "$BUILD"
fi
STATION="$BUILD/station"
SIM="$BUILD/bin/stationsim"
CONFIG="$STATION/config/device_config.csv"
MARKER="$STATION/config/.demo-device-table"
RAMCODE="$STATION/config/CHIPCTL/Config/TK716A_RAM_BIN.bin"
CYCLES="${STATION_DEMO_CYCLES:-2}"

say() { printf '[demo] %s\n' "$*"; }
die() {
    say "$*" >&2
    exit 1
}

for f in "$STATION/Benchmate" "$STATION/benchrun" "$STATION/benchreport" \
    "$STATION/config/CHIPCTL/Chipctl" "$SIM"; do
    [ -x "$f" ] || die "missing $f: build first (./station build)"
done
[ -f "$RAMCODE" ] || die "missing the simulator's ramcode image $RAMCODE: build first"

WORK="$(mktemp -d)"
SIM_PID=""
APP_PID=""

# shellcheck disable=SC2317 # stop_group and cleanup run from the traps
# Ends a process and everything in its process group (Benchmate and benchrun
# run in their own session, so their Chipctl runs go with them).
stop_group() {
    local pid="$1" n
    kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || true
    for n in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
}

# shellcheck disable=SC2317
cleanup() {
    local status=$?
    trap - EXIT INT TERM HUP
    set +e
    if [ -n "$APP_PID" ]; then
        stop_group "$APP_PID"
        wait "$APP_PID" 2>/dev/null
    fi
    if [ -n "$SIM_PID" ]; then
        exec 7>&- # the simulator ends when its standard input closes
        for _ in $(seq 50); do
            kill -0 "$SIM_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$SIM_PID" 2>/dev/null && kill -TERM "$SIM_PID" 2>/dev/null
        wait "$SIM_PID" 2>/dev/null
        say "simulated station stopped"
    fi
    rm -rf "$WORK"
    exit "$status"
}
trap cleanup EXIT
trap 'say "interrupted"; exit 130' INT
trap 'exit 143' TERM HUP

# --- the device table ------------------------------------------------------

# A table the demo wrote earlier: the marker is there and the golden machine
# is still on the simulator. Anything else is the operator's.
demo_table() {
    [ -f "$MARKER" ] || return 1
    sed -n '2p' "$CONFIG" | grep -q '^1,Gold Machine,rfc2217://127\.0\.0\.1:'
}

if [ -e "$CONFIG" ] && ! demo_table; then
    say "$CONFIG holds a device table the demo did not write."
    say "The demo does not replace it. To run the demo, move it away first, e.g."
    say "    mv '$CONFIG' '$CONFIG.mine'"
    say "and move it back afterwards (the demo then writes its own table there)."
    exit 1
fi

# --- the simulated station ---------------------------------------------------

sim_args=(--base-port 0 --state-dir "$WORK/state" --write-device-config "$WORK/table.csv")
[ -n "${STATION_DEMO_SCENARIO:-}" ] && sim_args+=(--scenario "$STATION_DEMO_SCENARIO")
mkdir -p "$WORK/state"
# The simulator reads a pipe that only this script holds open, so it ends
# with the script whatever way the script ends.
mkfifo "$WORK/stdin"
"$SIM" "${sim_args[@]}" <"$WORK/stdin" >"$WORK/ready" 2>"$WORK/stationsim.log" &
SIM_PID=$!
exec 7>"$WORK/stdin"

for _ in $(seq 150); do
    grep -q '^ready ' "$WORK/ready" 2>/dev/null && break
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q '^ready ' "$WORK/ready" 2>/dev/null; then
    cat "$WORK/stationsim.log" >&2
    die "the simulated station did not start"
fi
ports="$(sed -n 's/^ready //p' "$WORK/ready")"
say "simulated station: golden machine and $(tr ' ' '\n' <<<"$ports" | grep -c '^dut') DUTs"
say "  $(tr ' ' '\n' <<<"$ports" | head -n 2 | tr '\n' ' ')..."

# The simulator's table; a previous demo's counters, crystal value and auto
# test flag (lines 38 to 42) carry over, so the log headings keep counting.
if [ -f "$CONFIG" ] && [ "$(wc -l <"$CONFIG")" -eq 42 ]; then
    { head -n 37 "$WORK/table.csv"; sed -n '38,42p' "$CONFIG"; } >"$WORK/merged.csv"
else
    cp "$WORK/table.csv" "$WORK/merged.csv"
fi
mkdir -p "$STATION/config" "$STATION/log"
mv -f "$WORK/merged.csv" "$CONFIG"
printf 'Written by scripts/demo.sh; remove this file and the table beside it to drop the demo set-up.\n' >"$MARKER"
say "device table: $CONFIG"

# --- Benchmate or benchrun ---------------------------------------------------

display_available() {
    if [ -n "${WAYLAND_DISPLAY:-}" ]; then
        local sock="$WAYLAND_DISPLAY"
        [ "${sock#/}" != "$sock" ] || sock="${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/$sock"
        [ -S "$sock" ] && return 0
    fi
    [ -n "${DISPLAY:-}" ] || return 1
    if command -v xdpyinfo >/dev/null 2>&1; then
        timeout 5 xdpyinfo >/dev/null 2>&1
        return
    fi
    # :N or :N.S on this machine: its socket.
    local n="${DISPLAY#*:}"
    n="${n%%.*}"
    case "$DISPLAY" in
    :* | unix:* | localhost:*) [ -S "/tmp/.X11-unix/X$n" ] ;;
    *) return 0 ;; # a remote display: let Benchmate try
    esac
}

mode="${STATION_DEMO_MODE:-}"
if [ -z "$mode" ]; then
    if display_available; then mode=window; else mode=console; fi
fi

today="$(date +%Y-%m-%d)"
started="$(date '+%Y-%m-%d %H:%M:%S')"
if [ "$mode" = window ]; then
    say "opening Benchmate (display ${WAYLAND_DISPLAY:-$DISPLAY})"
    say "press 开始测试 to run a cycle over the 24 DUTs; close the window to end the demo"
    (cd "$STATION" && exec setsid ./Benchmate 7>&-) &
    APP_PID=$!
    status=0
    wait "$APP_PID" || status=$?
    APP_PID=""
else
    say "no display: running benchrun for $CYCLES cycle(s) in $STATION"
    (cd "$STATION" && exec setsid ./benchrun --cycles "$CYCLES" 7>&-) &
    APP_PID=$!
    status=0
    wait "$APP_PID" || status=$?
    APP_PID=""
fi

say "yield report of this demo's cycles (benchreport --from '$started'):"
echo
(cd "$STATION" && ./benchreport --from "$started") || status=$?
echo
say "daily log:    $STATION/log/$today.txt"
say "results file: $STATION/log/$today.csv"
say "database:     $STATION/log/results.sqlite"
say "settings:     $CONFIG"
exit "$status"
