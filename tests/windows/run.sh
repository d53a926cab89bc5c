#!/usr/bin/env bash
# The Windows leg: the Windows station (build-win/, MinGW-w64) run under Wine
# against the simulated station of the Linux build, judged against the Linux
# station's own runs.
#   tests/windows/run.sh SOURCE_DIR LINUX_BUILD WINDOWS_BUILD
#
# 1. Chipctl.exe against the simulator over rfc2217://, command by command
#    beside the Linux Chipctl on a second simulator of the same scenario:
#    the same data lines and result texts, but for the line ends the
#    Windows console writes ("\n" becomes "\r\n"). Then over COM ports
#    mapped to the simulator's ptys (COM5, and COM12 above COM9).
# 2. benchrun.exe, one cycle of 6 DUTs in a station folder whose path has a
#    space and Chinese characters, beside the Linux benchrun on the same
#    scenario: every DUT passes, and the daily log, the results CSV and
#    results.sqlite hold the same verdicts, figures and texts (times and
#    line ends aside).
# 3. Benchmate.exe under Xvfb: its window's picture (docs/img), a cycle
#    started with its button and ended.
#
# Environment: STATION_WINEPREFIX (default ~/.cache/station/wine-prefix,
# made once), STATION_WINDOWS_SHOT (where the picture goes; default
# docs/img/benchmate-windows.png in SOURCE_DIR).
set -euo pipefail
SRC="$(realpath "$1")"
LIN="$(realpath "$2")"
WIN="$(realpath "$3")"
SIM="$LIN/bin/stationsim"
LIN_STATION="$LIN/station"
WIN_STATION="$WIN/station"
RAMCODE="$LIN_STATION/config/CHIPCTL/Config/TK716A_RAM_BIN.bin"
WINE="${STATION_WINE:-$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)}"
WINESERVER="$(dirname "$WINE")/wineserver"
[ -x "$WINESERVER" ] || WINESERVER="$(command -v wineserver || echo wineserver)"
export WINEPREFIX="${STATION_WINEPREFIX:-$HOME/.cache/station/wine-prefix}"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs, no Wine desktop integration.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
SHOT="${STATION_WINDOWS_SHOT:-$SRC/docs/img/benchmate-windows.png}"

T="$(mktemp -d)"
PIDS=()
XVFB_PID=""
passed=0
failed=0
say() { printf '[windows] %s\n' "$*"; }
check() { # check NAME COMMAND...: one check, counted
    local name="$1"; shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        say "FAIL: $name"
    fi
}

# shellcheck disable=SC2317
cleanup() {
    set +e
    local pid
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null; done
    "$WINESERVER" -k 2>/dev/null
    [ -n "$XVFB_PID" ] && { kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; }
    rm -f "$WINEPREFIX/dosdevices/com5" "$WINEPREFIX/dosdevices/com12"
    rm -rf "$T"
}
trap cleanup EXIT

for f in "$WIN_STATION/config/CHIPCTL/Chipctl.exe" "$WIN_STATION/benchrun.exe" \
    "$WIN_STATION/Benchmate.exe" "$LIN_STATION/config/CHIPCTL/Chipctl" "$LIN_STATION/benchrun" \
    "$SIM" "$RAMCODE"; do
    [ -e "$f" ] || { say "missing $f"; exit 1; }
done

# One Wine prefix for every run (making one takes half a minute), one leg at
# a time in it.
exec 9>"$WINEPREFIX.lock"
flock -w 600 9 || { say "another Windows leg holds $WINEPREFIX"; exit 1; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "making the Wine prefix $WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1 || true
fi
# A wine server that stays between the runs: each Chipctl.exe run then
# starts in a fraction of a second, as on Windows.
"$WINESERVER" -p 300
wine() { "$WINE" "$@"; }
started=$SECONDS

# start_sim NAME ARGS...: a simulator with its ready line in $T/NAME.ready;
# stops with the leg (its standard input is a pipe only the leg holds).
start_sim() {
    local name="$1"; shift
    mkdir -p "$T/$name.state"
    mkfifo "$T/$name.stdin"
    "$SIM" --base-port 0 --state-dir "$T/$name.state" "$@" <"$T/$name.stdin" \
        >"$T/$name.ready" 2>"$T/$name.log" &
    PIDS+=($!)
    # Hold the pipe open; the simulator ends when the leg ends.
    sleep 100000 >"$T/$name.stdin" &
    PIDS+=($!)
    local _
    for _ in $(seq 150); do
        grep -q '^ready ' "$T/$name.ready" 2>/dev/null && return 0
        sleep 0.1
    done
    cat "$T/$name.log" >&2
    say "the simulator $name did not start"
    exit 1
}
port_of() { # port_of NAME CHIP
    tr ' ' '\n' <"$T/$1.ready" | sed -n "s/^$2=//p"
}

# --- 1. Chipctl.exe --------------------------------------------------------

printf '{"duts": 2, "seed": 3}\n' >"$T/two.json"
start_sim linux --scenario "$T/two.json" --pty-dir "$T/linux.pty"
start_sim windows --scenario "$T/two.json" --pty-dir "$T/windows.pty"

# The Windows output with the console's "\r\n" for "\n" taken back: what the
# Linux build prints. (A "\r\n" the chip sent comes out "\r\r\n".)
unix_ends() { sed -z 's/\r\n/\n/g' "$1"; }
# same_output NAME: $T/NAME.lin and $T/NAME.win say the same, CR LF aside,
# and the Windows one has the console's line ends.
same_output() {
    local name="$1"
    if ! cmp -s <(unix_ends "$T/$name.win") "$T/$name.lin"; then
        say "$name: Linux: $(od -An -c "$T/$name.lin" | tr -s ' ' | head -c 300)"
        say "$name: Windows: $(od -An -c "$T/$name.win" | tr -s ' ' | head -c 300)"
        return 1
    fi
    if [ "$(tr -cd '\n' <"$T/$name.lin" | wc -c)" -gt 0 ] && ! grep -q $'\r$' "$T/$name.win"; then
        say "$name: no CR LF in the Windows output"
        return 1
    fi
}
# chipctl NAME PORT_LINUX PORT_WINDOWS WORDS...: the command on both builds
# (each on its own simulator), from Chipctl's own folder.
chipctl() {
    local name="$1" lport="$2" wport="$3"; shift 3
    (cd "$LIN_STATION/config/CHIPCTL" && ./Chipctl ${lport:+"$lport"} "$@") >"$T/$name.lin" 2>/dev/null
    (cd "$WIN_STATION/config/CHIPCTL" && wine ./Chipctl.exe ${wport:+"$wport"} "$@") \
        >"$T/$name.win" 2>/dev/null
    check "Chipctl $name" same_output "$name"
}
mkdir -p "$WIN_STATION/config/CHIPCTL/Config"
cp "$RAMCODE" "$WIN_STATION/config/CHIPCTL/Config/"
L1="$(port_of linux dut01)"
W1="$(port_of windows dut01)"
chipctl version "" "" version
chipctl mode-firmware "$L1" "$W1" mode read
chipctl entry-boot "$L1" "$W1" entry_boot_mode
chipctl mode-bootrom "$L1" "$W1" mode read
# The image path as the operator types it on Windows: backslashes.
(cd "$LIN_STATION/config/CHIPCTL" && ./Chipctl "$L1" download ram 0x20000000 \
    Config/TK716A_RAM_BIN.bin) >"$T/download.lin" 2>/dev/null
(cd "$WIN_STATION/config/CHIPCTL" && wine ./Chipctl.exe "$W1" download ram 0x20000000 \
    'Config\TK716A_RAM_BIN.bin') >"$T/download.win" 2>/dev/null
check "Chipctl download" same_output download
check "download Ok." grep -q 'Ok\.$' "$T/download.win"
chipctl uuid "$L1" "$W1" uuid
chipctl mac-write "$L1" "$W1" mac write 02:54:4b:00:00:10
chipctl mac-read "$L1" "$W1" mac read
chipctl xtal "$L1" "$W1" xtal_cap write ram 5
chipctl efuse "$L1" "$W1" efuse read 3
chipctl flash "$L1" "$W1" flash read 0 10
chipctl bad-words "$L1" "$W1" mac write 02:54
chipctl no-port "rfc2217://127.0.0.1:1" "rfc2217://127.0.0.1:1" uuid
check "MAC line ends as the chip sent it, then the console's" \
    grep -q $'^mac:02:54:4b:00:00:10\r\r$' "$T/mac-read.win"

# A COM port of Wine's is a link to a device: the golden machine's pty (its
# ramcode runs from the start; a pty has no reset lines).
gm_pty="$(readlink -f "$T/windows.pty/gm")"
ln -sfn "$gm_pty" "$WINEPREFIX/dosdevices/com5"
ln -sfn "$gm_pty" "$WINEPREFIX/dosdevices/com12"
for port in COM5 COM12; do
    (cd "$LIN_STATION/config/CHIPCTL" && ./Chipctl "$gm_pty" gm_mac) >"$T/$port-mac.lin" 2>/dev/null
    (cd "$WIN_STATION/config/CHIPCTL" && wine ./Chipctl.exe "$port" gm_mac) >"$T/$port-mac.win" 2>/dev/null
    check "Chipctl $port gm_mac" same_output "$port-mac"
    check "$port answers" grep -q 'Ok\.$' "$T/$port-mac.win"
done
(cd "$WIN_STATION/config/CHIPCTL" && wine ./Chipctl.exe COM7 uuid) >"$T/com7.win" 2>/dev/null
check "an absent COM port" grep -qx 'Fail. Could not open the serial port.' "$T/com7.win"
say "Chipctl.exe: $passed checks passed, $failed failed ($((SECONDS - started)) s)"

# --- 2. benchrun.exe -------------------------------------------------------

# Six DUTs: the simulator's noise is the same for the same seed and slot, so
# both stations measure the same figures.
cat >"$T/six.json" <<'EOF'
{"duts": 6, "seed": 11}
EOF
LS="$T/linux-station"
WS="$T/工位 一/station"
mkdir -p "$LS/config/CHIPCTL/Config" "$LS/log" "$(dirname "$WS")"
cp "$LIN_STATION/config/CHIPCTL/Chipctl" "$LIN_STATION"/config/CHIPCTL/*.so "$LS/config/CHIPCTL/"
cp "$RAMCODE" "$LS/config/CHIPCTL/Config/"
cp "$LIN_STATION/benchrun" "$LIN_STATION/benchreport" "$LS/"
cp -r "$WIN_STATION" "$WS"
rm -rf "$WS/log" "$WS/config/device_config.csv" "$WS/config/station.ini"
mkdir -p "$WS/log"
start_sim cyclelinux --scenario "$T/six.json" --write-device-config "$LS/config/device_config.csv" \
    --firmware-path "$LS/config/CHIPCTL/Config/TK716A_RAM_BIN.bin"
# The Windows station's image path as an operator's table has it: a drive
# path, with backslashes and the Chinese folder name.
image="$WS/config/CHIPCTL/Config/TK716A_RAM_BIN.bin"
start_sim cyclewindows --scenario "$T/six.json" --write-device-config "$WS/config/device_config.csv" \
    --firmware-path "$image"
win_image="$(wine winepath -w "$image" 2>/dev/null | tr -d '\r')"
# (awk -v would take the backslashes for escapes: the paths go by ENVIRON)
LINUX_IMAGE="$image" WINDOWS_IMAGE="$win_image" awk \
    '$0 == ENVIRON["LINUX_IMAGE"] "," { $0 = ENVIRON["WINDOWS_IMAGE"] "," } { print }' \
    "$WS/config/device_config.csv" >"$T/table.csv"
cp "$T/table.csv" "$WS/config/device_config.csv"
check "the table names the image by its Windows path" grep -qF "$win_image," "$WS/config/device_config.csv"

cycle_started=$SECONDS
(cd "$LS" && ./benchrun --cycles 1) >"$T/benchrun.lin" 2>&1 || true
(cd "$WS" && wine ./benchrun.exe --cycles 1) >"$T/benchrun.win" 2>&1 || true
say "benchrun.exe: 6 DUTs in $((SECONDS - cycle_started)) s (both stations)"
today="$(date +%Y-%m-%d)"
check "benchrun.exe: every DUT passes" grep -q 'DUTs judged 6, passed 6, failed 0' \
    <(tr -d '\r' <"$T/benchrun.win")
check "benchrun (Linux): every DUT passes" grep -q 'DUTs judged 6, passed 6, failed 0' "$T/benchrun.lin"
for f in "$WS/log/$today.txt" "$WS/log/$today.csv" "$WS/log/results.sqlite"; do
    check "$(basename "$f") written" test -s "$f"
done
# Times, dates and the simulators' port numbers out; a line end CR LF or LF
# (a file written in text mode on Windows would end its lines CR CR LF).
untimed() {
    sed -z 's/\r\n/\n/g' "$1" | sed -E 's/[0-9]{4}[-/][0-9]{2}[-/][0-9]{2}[ T_][0-9]{2}:[0-9]{2}:[0-9]{2}([.,][0-9]+)?Z?/TIME/g;
        s/[0-9]{2}:[0-9]{2}:[0-9]{2}([.,:][0-9]{3})?/TIME/g; s/127\.0\.0\.1:[0-9]+/127.0.0.1:PORT/g'
}
same_file() { # same_file NAME: the two stations' files NAME, times aside
    if ! diff <(untimed "$LS/log/$1") <(untimed "$WS/log/$1") >"$T/$1.diff"; then
        head -n 20 "$T/$1.diff"
        return 1
    fi
}
check "daily log as the Linux station's" same_file "$today.txt"
check "results CSV as the Linux station's" same_file "$today.csv"
# The database: every column of every DUT and cycle but the times, the
# cycle's id, the station's paths and the simulators' ports.
db_status=0
python3 - "$LS/log/results.sqlite" "$WS/log/results.sqlite" >"$T/db.out" 2>&1 <<'EOF' || db_status=$?
import re, sqlite3, sys
# Times, row ids, the cycle's unique id, the station's paths and ports
# differ by nature; the DUT's log has times in every line.
skip = re.compile(r"(^id$|_id$|^cycle_uid$|_at$|^image_path$|^port$|_log$)")
keep = set()
def rows(path):
    db = sqlite3.connect(path)
    out = {}
    for table in ("cycles", "duts"):
        cols = [r[1] for r in db.execute(f"PRAGMA table_info({table})")]
        use = [c for c in cols if c in keep or not skip.search(c)]
        order = "slot" if "slot" in cols else "rowid"
        out[table] = (use, db.execute(f"SELECT {', '.join(use)} FROM {table} ORDER BY {order}").fetchall())
    return out
a, b = rows(sys.argv[1]), rows(sys.argv[2])
bad = 0
for table in a:
    if a[table] != b[table]:
        bad = 1
        print(f"{table}: columns {a[table][0]}")
        for x, y in zip(a[table][1], b[table][1]):
            if x != y:
                print(f"  Linux:   {x}\n  Windows: {y}")
    else:
        print(f"{table}: {len(a[table][1])} rows alike in {len(a[table][0])} columns")
sys.exit(bad)
EOF
check "results.sqlite as the Linux station's" test "$db_status" -eq 0
sed 's/^/    /' "$T/db.out"
say "benchrun.exe: $passed checks passed, $failed failed so far ($((SECONDS - started)) s)"

# --- 3. Benchmate.exe ------------------------------------------------------

export DISPLAY=":$((90 + RANDOM % 100))"
Xvfb "$DISPLAY" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 50); do
    [ -S "/tmp/.X11-unix/X${DISPLAY#:}" ] && break
    sleep 0.1
done
blocks_before="$(grep -c '测试开始' "$WS/log/$today.txt" || true)"
(cd "$WS" && exec "$WINE" ./Benchmate.exe) >"$T/benchmate.out" 2>&1 &
APP=$!
PIDS+=("$APP")
window=""
for _ in $(seq 120); do
    window="$(xdotool search --onlyvisible --class 'benchmate' 2>/dev/null | head -n 1)" || true
    [ -n "$window" ] && break
    sleep 0.5
done
check "Benchmate.exe opens its window" test -n "$window"
if [ -n "$window" ]; then
    sleep 3 # the first paint
    mkdir -p "$(dirname "$SHOT")"
    xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$SHOT" 2>/dev/null
    check "a picture of the window" test -s "$SHOT"
    # 开始测试: the start button, at the bottom right of the window's layout
    # (its right column has a fixed width; the button is the last row).
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove --window "$window" $((WIDTH - 170)) $((HEIGHT - 52)) click 1
    blocks="$blocks_before"
    for _ in $(seq 240); do
        blocks="$(grep -c '测试开始' "$WS/log/$today.txt" || true)"
        [ "$blocks" -gt "$blocks_before" ] && break
        sleep 0.5
    done
    check "a cycle started from Benchmate.exe's window ended in the daily log" \
        test "$blocks" -gt "$blocks_before"
    xdotool windowclose "$window" 2>/dev/null || true
fi
say "Windows leg: $passed checks passed, $failed failed ($((SECONDS - started)) s)"
[ "$failed" -eq 0 ]
