#!/usr/bin/env bash
# Takes the pictures of Benchmate for docs/img: the window driven as an
# operator would (build/bin/benchmate_shots) under Xvfb, against a simulated
# station with two slots that fail (DUT5's crystal never converges, DUT10
# is too far from the golden machine for the RSSI limits).
#   scripts/screenshot.sh [BUILD_DIR] [OUTPUT_DIR]
# Defaults: build/ and docs/img/. Pictures:
#   benchmate.png            idle, at the window's own size
#   benchmate-cycle.png      mid-cycle
#   benchmate-failure.png    after three cycles, a failed row's reason shown
#   benchmate-yield.png      the yield view, with the warning on the slots
#                            that failed three cycles in a row
#   benchmate-en.png         the same in English, and benchmate-yield-en.png
#   benchmate-1366x768.png   the window maximised on a 1366 x 768 screen less
#   benchmate-1280x800.png   a 40-pixel taskbar, and on 1280 x 800 (and the
#                            same in English: ...-en.png), and each one's
#                            yield tab: ...-yield.png, ...-yield-en.png
#   benchmate-typo.png       a letter O typed for a zero: the box kept it,
#                            marked, its reason shown; and
#                            benchmate-typo-corrected.png
# Needs Xvfb, openbox (a window manager: the window gets its title bar, and
# is placed and maximised as on a desktop) and a CJK font
# (fonts-wqy-microhei); the pictures are taken by the driver itself (Qt).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(realpath "${1:-$ROOT/build}")"
OUT="$(realpath -m "${2:-$ROOT/docs/img}")"
SHOTS="$BUILD/bin/benchmate_shots"
SIM="$BUILD/bin/stationsim"
CHIPCTL_DIR="$BUILD/station/config/CHIPCTL"

say() { printf '[screenshot] %s\n' "$*"; }

for f in "$SHOTS" "$SIM" "$CHIPCTL_DIR/Chipctl"; do
    [ -x "$f" ] || { say "no $f: build first (./station build)"; exit 1; }
done
command -v Xvfb >/dev/null 2>&1 || { say "missing Xvfb: apt-get install xvfb"; exit 1; }
command -v openbox >/dev/null 2>&1 || { say "missing openbox: apt-get install openbox"; exit 1; }
fc-list :lang=zh 2>/dev/null | grep -q . || say "warning: no CJK font (apt-get install fonts-wqy-microhei)"

WORK="$(mktemp -d)"
XVFB_PID=""
WM_PID=""
SIM_PID=""
stop_wm() {
    if [ -n "$WM_PID" ]; then
        kill "$WM_PID" 2>/dev/null
        wait "$WM_PID" 2>/dev/null
        WM_PID=""
    fi
}
cleanup() {
    set +e
    stop_wm
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
    if [ -n "$SIM_PID" ]; then
        exec 7>&- # the simulator ends when its standard input closes
        wait "$SIM_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# Xvfb on a free display (its number comes on fd 4), and openbox on it; $1
# is WxH.
start_xvfb() {
    stop_wm
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    : >"$WORK/display"
    # Not holding the simulator's standard input open (fd 7): it would never end.
    Xvfb -displayfd 4 -screen 0 "$1x24" -dpi 96 -nolisten tcp 4>"$WORK/display" 2>"$WORK/xvfb.log" 7>&- &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$WORK/display" ] && break
        sleep 0.1
    done
    [ -s "$WORK/display" ] || { say "Xvfb did not start"; cat "$WORK/xvfb.log" >&2; exit 1; }
    export DISPLAY=":$(head -n1 "$WORK/display")"
    # The server takes connections a moment after it has said its number.
    for _ in $(seq 100); do
        obxprop --root >/dev/null 2>&1 && break
        sleep 0.1
    done
    openbox --sm-disable >"$WORK/openbox.log" 2>&1 7>&- &
    WM_PID=$!
    # Running once it has announced itself on the root window (grep reads
    # it all: obxprop cut short would fail the pipe).
    for _ in $(seq 100); do
        obxprop --root 2>/dev/null | grep '^_NET_SUPPORTING_WM_CHECK' >/dev/null && break
        sleep 0.1
    done
    obxprop --root 2>/dev/null | grep '^_NET_SUPPORTING_WM_CHECK' >/dev/null ||
        { say "openbox did not start"; cat "$WORK/openbox.log" >&2; exit 1; }
    say "Xvfb $1 on $DISPLAY, openbox"
}

# The simulated station: 24 DUTs, three of them failing in every cycle (DUT11
# so far from the golden machine that its RX RSSI is off the chart's axis,
# in its end bin).
cat >"$WORK/scenario.json" <<'JSON'
{
    "seed": 11,
    "chips": {
        "dut06": { "faults": { "xtalNeverConverges": true } },
        "dut11": { "pathLoss": 80 },
        "dut12": { "pathLoss": 110 }
    }
}
JSON
mkdir -p "$WORK/state" "$WORK/station/config" "$WORK/station/log"
mkfifo "$WORK/stdin"
"$SIM" --base-port 0 --state-dir "$WORK/state" --scenario "$WORK/scenario.json" \
    --write-device-config "$WORK/station/config/device_config.csv" \
    <"$WORK/stdin" >"$WORK/ready" 2>"$WORK/stationsim.log" &
SIM_PID=$!
exec 7>"$WORK/stdin"
for _ in $(seq 150); do
    grep -q '^ready ' "$WORK/ready" 2>/dev/null && break
    sleep 0.1
done
grep -q '^ready ' "$WORK/ready" || { say "stationsim did not start"; cat "$WORK/stationsim.log" >&2; exit 1; }

# The station directory: its chip tool, and a slot warns after 3 failed
# cycles in a row. The operator's own settings (the language) stay here too.
cp -r "$CHIPCTL_DIR" "$WORK/station/config/CHIPCTL"
printf '[yield]\nfailStreakWarning=3\n' >"$WORK/station/config/station.ini"
export XDG_CONFIG_HOME="$WORK/user-config"
mkdir -p "$OUT"

# The station PCs run Windows at 96 dpi: Qt's Windows style and a 9-point
# font give the window the metrics it has there.
run_shots() {
    (cd "$WORK/station" && QT_QPA_PLATFORM=xcb QT_STYLE_OVERRIDE=windows "$SHOTS" "$@") \
        2>"$WORK/shots.log" || { cat "$WORK/shots.log" >&2; exit 1; }
    grep '^\[shots\]' "$WORK/shots.log" || true
}

start_xvfb 1366x768
run_shots "$OUT" --cycles 3

# The window maximised on a station screen: the screen less its 40-pixel
# taskbar, less the window manager's title bar. The yield tab shows the
# cycles above, DUT11's RX RSSI in the chart's lower end bin.
for screen in 1366x768 1280x800; do
    start_xvfb "${screen%x*}x$((${screen#*x} - 40))"
    for language in zh_CN en; do
        suffix=""
        [ "$language" = en ] && suffix="-en"
        run_shots "$OUT" --maximized --language "$language" \
            --only-idle "benchmate-$screen$suffix.png" --yield "benchmate-$screen-yield$suffix.png"
    done
done
say "pictures in $OUT"
