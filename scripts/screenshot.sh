#!/usr/bin/env bash
# Starts Benchmate under Xvfb at its default size, with a sample device table,
# and saves a picture of its window.
#   scripts/screenshot.sh [BUILD_DIR] [OUTPUT_PNG]
# Defaults: build/ and docs/img/benchmate.png. Needs Xvfb, x11-utils
# (xwininfo), ImageMagick (import) and a CJK font (fonts-wqy-microhei).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(realpath "${1:-$ROOT/build}")"
OUT="$(realpath -m "${2:-$ROOT/docs/img/benchmate.png}")"
BENCHMATE="$BUILD/station/Benchmate"
TITLE="金机测试上位机软件"

say() { printf '[screenshot] %s\n' "$*"; }

[ -x "$BENCHMATE" ] || { say "no $BENCHMATE: build first (./station build)"; exit 1; }
for tool in Xvfb xwininfo import fc-list; do
    command -v "$tool" >/dev/null 2>&1 || {
        say "missing $tool: apt-get install xvfb x11-utils imagemagick fontconfig"
        exit 1
    }
done
fc-list :lang=zh | grep -q . || say "warning: no CJK font (apt-get install fonts-wqy-microhei)"

WORK="$(mktemp -d)"
XVFB_PID=""
APP_PID=""
cleanup() {
    set +e
    if [ -n "$APP_PID" ]; then
        kill "$APP_PID" 2>/dev/null
        wait "$APP_PID" 2>/dev/null
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# A station working directory with a sample set-up: the golden machine and
# eight DUTs on serial ports, the usual limits.
mkdir -p "$WORK/config" "$WORK/log"
{
    printf 'ENBALE,Device Name,Serial Num,TX CAL,RX CAL,\n'
    printf '1,Gold Machine,COM3,0,\n'
    for n in $(seq 0 23); do
        if [ "$n" -lt 8 ]; then
            printf '1,DUT%d,COM%d,0,0,\n' "$n" $((n + 4))
        else
            printf '0,DUT%d,,0,0,\n' "$n"
        fi
    done
    printf 'D:/firmware/TK716A_RAM_BIN.bin,\n'
    # limits, lock, channel, interval, time-out, counters, crystal value, auto test
    printf '%s,\n' -20 -60 20 -20 -20 -60 0 1 100 30 120 117 3 -12 0
} >"$WORK/config/device_config.csv"

# Xvfb picks a free display and tells its number on fd 4.
DISPLAY_FILE="$WORK/display"
Xvfb -displayfd 4 -screen 0 1280x900x24 -dpi 96 -nolisten tcp 4>"$DISPLAY_FILE" 2>"$WORK/xvfb.log" &
XVFB_PID=$!
for _ in $(seq 100); do
    [ -s "$DISPLAY_FILE" ] && break
    sleep 0.1
done
[ -s "$DISPLAY_FILE" ] || { say "Xvfb did not start"; cat "$WORK/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$DISPLAY_FILE")"
say "Xvfb on $DISPLAY"

# The station PCs run Windows at 96 dpi: Qt's Windows style and a 9-point
# font give the window the same metrics, so it opens at its own 1068 x 757.
(cd "$WORK" && exec env QT_QPA_PLATFORM=xcb QT_STYLE_OVERRIDE=windows "$BENCHMATE") \
    >"$WORK/benchmate.log" 2>&1 &
APP_PID=$!

WINDOW=""
for _ in $(seq 100); do
    WINDOW="$(xwininfo -root -tree 2>/dev/null | grep -F "\"$TITLE\"" | awk '{print $1}' | head -n1 || true)"
    [ -n "$WINDOW" ] && break
    kill -0 "$APP_PID" 2>/dev/null || { say "Benchmate ended"; cat "$WORK/benchmate.log" >&2; exit 1; }
    sleep 0.1
done
[ -n "$WINDOW" ] || { say "no Benchmate window"; exit 1; }
sleep 1 # let it paint

mkdir -p "$(dirname "$OUT")"
import -window "$WINDOW" -strip "$OUT"
say "window $WINDOW: $(xwininfo -id "$WINDOW" | awk '/Width:|Height:/ {printf "%s ", $2}')"
say "saved $OUT"
