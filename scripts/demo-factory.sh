#!/usr/bin/env bash
# A factory of two stations and its shared results database, against the
# simulated stations:
#   scripts/demo-factory.sh [BUILD_DIR]     (./station demo --factory)
#
# 1. Starts a PostgreSQL server of its own: initdb into a temporary folder,
#    listening on 127.0.0.1 at a free port, password login, a database
#    "factory". As root the server runs as the "postgres" user of Debian's
#    package (the server refuses root).
# 2. Makes two station folders (line1-st1, line1-st2) beside it, each with
#    the chip tool, a simulator of its own (STATION_DEMO_DUTS DUTs, 12 by
#    default) and a config/station.ini whose [factory_db] names the server.
#    The second station has a fixture fault: slot 3's RF path loses 80 dB.
# 3. Runs both stations' benchrun side by side for STATION_DEMO_CYCLES
#    cycles (3 by default); each records its cycles in its own
#    log/results.sqlite and forwards them to the factory database.
# 4. Prints the factory's yield report (benchreport --factory), then stops
#    everything it started and removes the temporary folder.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(realpath "${1:-$ROOT/build}")"
STATION="$BUILD/station"
SIM="$BUILD/bin/stationsim"
CYCLES="${STATION_DEMO_CYCLES:-3}"
DUTS="${STATION_DEMO_DUTS:-12}"

say() { printf '[factory] %s\n' "$*"; }
die() {
    say "$*" >&2
    exit 1
}

for f in "$STATION/benchrun" "$STATION/benchreport" "$STATION/config/CHIPCTL/Chipctl" \
    "$STATION/config/CHIPCTL/Config/TK716A_RAM_BIN.bin" "$SIM"; do
    [ -e "$f" ] || die "missing $f: build first (./station build)"
done
PGBIN="${STATION_PG_BINDIR:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)}"
[ -x "$PGBIN/initdb" ] || die "no PostgreSQL server (Debian's postgresql package): ./station installs it"

# The server's programs run as "postgres" when we are root.
as_pg() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

WORK="$(mktemp -d)"
chmod 755 "$WORK"
PG="$WORK/pg"
PG_STARTED=0
SIM_PIDS=()
RUN_PIDS=()

# shellcheck disable=SC2317 # run from the traps
stop_group() {
    local pid="$1"
    kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
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
    local pid
    for pid in "${RUN_PIDS[@]}"; do
        stop_group "$pid"
        wait "$pid" 2>/dev/null
    done
    if [ "${#SIM_PIDS[@]}" -gt 0 ]; then
        exec 7>&- 8>&- # a simulator ends when its standard input closes
        for pid in "${SIM_PIDS[@]}"; do
            for _ in $(seq 50); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
            kill -0 "$pid" 2>/dev/null && kill -TERM "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
        done
        say "simulated stations stopped"
    fi
    if [ "$PG_STARTED" = 1 ]; then
        as_pg "$PGBIN/pg_ctl" -D "$PG/data" -m fast -w stop >/dev/null 2>&1 ||
            as_pg "$PGBIN/pg_ctl" -D "$PG/data" -m immediate -w stop >/dev/null 2>&1
        say "PostgreSQL server stopped"
    fi
    rm -rf "$WORK"
    exit "$status"
}
trap cleanup EXIT
trap 'say "interrupted"; exit 130' INT
trap 'exit 143' TERM HUP

# --- the factory's database ------------------------------------------------

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

mkdir -p "$PG"
PASSWORD="demo-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
printf '%s\n' "$PASSWORD" >"$PG/password"
[ "$(id -u)" -eq 0 ] && chown -R postgres "$PG"
as_pg "$PGBIN/initdb" -D "$PG/data" -U station --auth=scram-sha-256 --pwfile="$PG/password" \
    -E UTF8 --locale=C --no-sync >"$WORK/initdb.log" 2>&1 || { cat "$WORK/initdb.log" >&2; die "initdb failed"; }
PORT="$(free_port)"
as_pg "$PGBIN/pg_ctl" -D "$PG/data" -w -t 60 -l "$PG/server.log" \
    -o "-c listen_addresses=127.0.0.1 -c port=$PORT -c unix_socket_directories=''" start \
    >/dev/null || { cat "$PG/server.log" >&2; die "the PostgreSQL server did not start"; }
PG_STARTED=1
PGPASSWORD="$PASSWORD" "$PGBIN/createdb" -h 127.0.0.1 -p "$PORT" -U station factory ||
    die "cannot make the database \"factory\""
say "PostgreSQL $("$PGBIN/postgres" --version | awk '{print $3}') on 127.0.0.1:$PORT, database \"factory\" (folder $PG)"

# --- two stations ------------------------------------------------------------

# scenario NAME UID_PREFIX GM_MAC [FAULT_JSON]: DUTs with flash UIDs of
# their own (the simulator derives them from the slot name alone, which two
# stations would share) and a golden machine of its own.
scenario() {
    local name="$1" prefix="$2" mac="$3" fault="${4:-}" n chips=""
    chips="\"gm\": {\"storage\": {\"mac\": \"$mac\"}}"
    for n in $(seq 1 "$DUTS"); do
        local id
        id="$(printf 'dut%02d' "$n")"
        local extra=""
        [ -n "$fault" ] && [ "$n" -eq 4 ] && extra=", $fault"
        chips="$chips, \"$id\": {\"storage\": {\"flashUid\": \"$(printf '%s%030x' "$prefix" "$n")\"}$extra}"
    done
    printf '{"duts": %d, "chips": {%s}}\n' "$DUTS" "$chips" >"$WORK/$name.json"
}

# start_station NAME FD SCENARIO_ARGS...
start_station() {
    local name="$1" fd="$2"
    local dir="$WORK/$name"
    mkdir -p "$dir/config" "$dir/log" "$WORK/$name-state"
    cp -r "$STATION/config/CHIPCTL" "$dir/config/"
    ln -s "$STATION/benchrun" "$dir/benchrun"
    ln -s "$STATION/benchreport" "$dir/benchreport"
    mkfifo "$WORK/$name.stdin"
    "$SIM" --base-port 0 --state-dir "$WORK/$name-state" --scenario "$WORK/$name.json" \
        --firmware-path "$dir/config/CHIPCTL/Config/TK716A_RAM_BIN.bin" \
        --write-device-config "$dir/config/device_config.csv" \
        <"$WORK/$name.stdin" >"$WORK/$name.ready" 2>"$WORK/$name.sim.log" &
    SIM_PIDS+=($!)
    eval "exec $fd>\"\$WORK/\$name.stdin\""
    cat >"$dir/config/station.ini" <<INI
[station]
id=$name

[factory_db]
host=127.0.0.1
port=$PORT
name=factory
user=station
password_file=$PG/password
retry_seconds=2
INI
}

scenario line1-st1 a1 02:54:4b:00:01:10
scenario line1-st2 b2 02:54:4b:00:02:10 '"pathLoss": 80'
start_station line1-st1 7
start_station line1-st2 8
for name in line1-st1 line1-st2; do
    for _ in $(seq 150); do
        grep -q '^ready ' "$WORK/$name.ready" 2>/dev/null && break
        sleep 0.1
    done
    grep -q '^ready ' "$WORK/$name.ready" 2>/dev/null || { cat "$WORK/$name.sim.log" >&2; die "the simulator of $name did not start"; }
done
say "two stations, $DUTS DUTs each: line1-st1 (healthy) and line1-st2 (slot 3 has a bad RF path)"

say "running benchrun on both, $CYCLES cycle(s) each, side by side..."
for name in line1-st1 line1-st2; do
    (cd "$WORK/$name" && exec setsid ./benchrun --cycles "$CYCLES" 7>&- 8>&-) >"$WORK/$name.out" 2>&1 &
    RUN_PIDS+=($!)
done
status=0
for i in 0 1; do
    wait "${RUN_PIDS[$i]}" || status=$?
done
RUN_PIDS=()
for name in line1-st1 line1-st2; do
    echo
    say "$name: benchrun's summary"
    sed -n '/^Summary:/,$p' "$WORK/$name.out"
done

echo
say "the factory's yield report (benchreport --factory):"
echo
(cd "$WORK/line1-st1" && ./benchreport --factory) || status=$?
echo
exit "$status"
