#!/usr/bin/env bash
# scripts/demo.sh in console mode, in a throwaway build directory that holds
# the real programs: it runs benchrun against the simulator, leaves its table
# and logs, carries the counters into the next demo, refuses a table it did
# not write, and leaves no simulator behind.
#   tst_demo.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
SRC="$1"
REAL="$2"
T="$(mktemp -d)"
trap 'rm -rf "$T"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

B="$T/build"
mkdir -p "$B/station/config/CHIPCTL/Config" "$B/bin"
cp "$REAL/station/config/CHIPCTL/Chipctl" "$B/station/config/CHIPCTL/"
cp "$REAL/station/config/CHIPCTL/Config/TK716A_RAM_BIN.bin" "$B/station/config/CHIPCTL/Config/"
ln -s "$REAL/station/benchrun" "$B/station/benchrun"
ln -s "$REAL/station/benchreport" "$B/station/benchreport"
ln -s "$REAL/station/Benchmate" "$B/station/Benchmate"
ln -s "$REAL/bin/stationsim" "$B/bin/stationsim"
printf '{"duts": 3}\n' >"$T/three.json"

run_demo() {
    env -u DISPLAY -u WAYLAND_DISPLAY STATION_DEMO_CYCLES=1 STATION_DEMO_SCENARIO="$T/three.json" \
        "$SRC/scripts/demo.sh" "$B" >"$T/out" 2>&1 </dev/null
}

# A first demo: one cycle over three DUTs, all passing.
run_demo || { cat "$T/out"; fail "the demo ended with $?"; }
grep -q 'no display: running benchrun for 1 cycle' "$T/out" || fail "no console mode"
grep -q 'Cycle 1 of 1: 3 DUT(s)' "$T/out" || fail "no cycle table"
grep -q 'DUTs judged 3, passed 3, failed 0, yield 100.0 %' "$T/out" || { cat "$T/out"; fail "not all passed"; }
grep -q 'simulated station stopped' "$T/out" || fail "the simulator was not stopped"
# The yield report of the demo's cycles, from the station's own database.
grep -q '^  cycles: 1, started ' "$T/out" || { cat "$T/out"; fail "no report of the cycle"; }
grep -q '^  first-pass yield: 100.0 % (3 of 3 modules passed their first test)' "$T/out" || fail "report's yield wrong"
CONFIG="$B/station/config/device_config.csv"
[ -f "$B/station/config/.demo-device-table" ] || fail "no marker"
sed -n '2p' "$CONFIG" | grep -q '^1,Gold Machine,rfc2217://127\.0\.0\.1:' || fail "table not on the simulator"
[ "$(sed -n '38p' "$CONFIG")" = "3," ] || fail "total not 3: $(sed -n '38p' "$CONFIG")"
today="$(date +%Y-%m-%d)"
head -n 1 "$B/station/log/$today.txt" | grep -q '^第0次测试开始:' || fail "no log block"
[ "$(wc -l <"$B/station/log/$today.csv")" -eq 4 ] || fail "not 3 result rows"

# A second demo carries the counters on: its block is headed 3.
run_demo || { cat "$T/out"; fail "the second demo ended with $?"; }
grep -q '第3次测试开始:' "$B/station/log/$today.txt" || fail "counters not carried"
# Its report has its own cycle only, the database both.
grep -q '^  cycles: 1, started ' "$T/out" || fail "the second report is not of its own cycle"
(cd "$B/station" && ./benchreport) | grep -q '^  cycles: 2, started ' || fail "not 2 cycles recorded"
[ "$(sed -n '38p' "$CONFIG")" = "6," ] || fail "total not 6"

# An operator's own table is left alone.
sed -i '2s/.*/1,Gold Machine,COM3,0,/' "$CONFIG"
before="$(md5sum <"$CONFIG")"
if run_demo; then fail "the demo replaced an operator's table"; fi
grep -q 'holds a device table the demo did not write' "$T/out" || fail "no explanation"
[ "$(md5sum <"$CONFIG")" = "$before" ] || fail "the operator's table changed"
grep -q 'mv ' "$T/out" || fail "no way out offered"

# Nothing of the demo runs any more.
if pgrep -f "$B/" >/dev/null; then fail "processes left: $(pgrep -af "$B/")"; fi
echo "demo: 3 passed, 0 failed"
