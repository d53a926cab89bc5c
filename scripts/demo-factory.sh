#!/usr/bin/env bash
# A factory of two stations and its shared results database, against the
# simulated stations:
#   scripts/demo-factory.sh [BUILD_DIR]     (./station demo --factory)
#
# 1. Starts a PostgreSQL server of its own: initdb into a temporary folder,
#    listening on 127.0.0.1 at a free port, TLS only (a certificate signed by
#    a factory CA it makes with openssl), password login (SCRAM), a database
#    "factory" set up by the administrator's step (benchreport
#    --init-factory): a login per station that may add its own station's
#    cycles only, and a report login that may only read. As root the server
#    runs as the "postgres" user of Debian's package (the server refuses
#    root).
# 2. Makes two station folders (line1-st1, line1-st2) beside it, each with
#    the chip tool, a simulator of its own (STATION_DEMO_DUTS DUTs, 12 by
#    default) and a config/station.ini whose [factory_db] names the server.
#    The second station has a fixture fault: slot 3's RF path loses 80 dB.
# 3. Runs both stations' benchrun side by side for STATION_DEMO_CYCLES
#    cycles (3 by default); each records its cycles in its own
#    log/results.sqlite and forwards them to the factory database.
#    While they run it shows the server's pg_stat_ssl row of a station's
#    connection (verify-full against the factory CA).
# 4. Prints the factory's yield report (benchreport --factory, with the
#    report login), then stops everything it started and removes the
#    temporary folder.
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
chmod 700 "$PG"
umask 077 # every password, key and settings file the owner's alone
secret() { od -An -N9 -tx1 /dev/urandom | tr -d ' \n'; }
PASSWORD="$(secret)"
printf '%s\n' "$PASSWORD" >"$PG/password"

# The factory's CA, and the server's certificate for 127.0.0.1 signed by it.
TLS="$WORK/tls"
mkdir -p "$TLS"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=TK716A demo factory CA" \
    -keyout "$TLS/ca.key" -out "$TLS/ca.crt" >"$WORK/openssl.log" 2>&1 ||
    { cat "$WORK/openssl.log" >&2; die "openssl cannot make the CA"; }
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' >"$TLS/san.ext"
if ! openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout "$PG/server.key" \
    -out "$TLS/server.csr" >>"$WORK/openssl.log" 2>&1 ||
    ! openssl x509 -req -in "$TLS/server.csr" -CA "$TLS/ca.crt" -CAkey "$TLS/ca.key" \
        -CAcreateserial -days 2 -extfile "$TLS/san.ext" -out "$PG/server.crt" \
        >>"$WORK/openssl.log" 2>&1; then
    cat "$WORK/openssl.log" >&2
    die "openssl cannot make the server's certificate"
fi
chmod 644 "$TLS/ca.crt"
chmod 755 "$TLS"
[ "$(id -u)" -eq 0 ] && chown -R postgres "$PG"
as_pg "$PGBIN/initdb" -D "$PG/data" -U factory_owner --auth=scram-sha-256 --pwfile="$PG/password" \
    -E UTF8 --locale=C --no-sync >"$WORK/initdb.log" 2>&1 || { cat "$WORK/initdb.log" >&2; die "initdb failed"; }
# TLS on every network connection.
as_pg sh -c "printf '%s\n' 'local all all scram-sha-256' \
    'hostssl all all 127.0.0.1/32 scram-sha-256' 'hostssl all all ::1/128 scram-sha-256' \
    >'$PG/data/pg_hba.conf'"
PORT="$(free_port)"
as_pg "$PGBIN/pg_ctl" -D "$PG/data" -w -t 60 -l "$PG/server.log" \
    -o "-c listen_addresses=127.0.0.1 -c port=$PORT -c unix_socket_directories='' -c ssl=on -c ssl_cert_file=$PG/server.crt -c ssl_key_file=$PG/server.key -c log_connections=on" start \
    >/dev/null || { cat "$PG/server.log" >&2; die "the PostgreSQL server did not start"; }
PG_STARTED=1
# The owner's connection, as the stations': TLS, the server's name checked
# against the factory CA.
OWNER_DSN="host=127.0.0.1 port=$PORT user=factory_owner sslmode=verify-full sslrootcert=$TLS/ca.crt"
PGPASSWORD="$PASSWORD" "$PGBIN/psql" -q -v ON_ERROR_STOP=1 -d "$OWNER_DSN dbname=postgres" \
    -c "CREATE DATABASE factory" || die "cannot make the database \"factory\""

# [factory_db] LOGIN PASSWORD_FILE: the settings of one login.
factory_db() {
    cat <<INI
[factory_db]
host=127.0.0.1
port=$PORT
name=factory
user=$1
password_file=$2
sslmode=verify-full
sslrootcert=$TLS/ca.crt
retry_seconds=2
INI
}
factory_db factory_owner "$PG/password" >"$WORK/admin.ini"
"$STATION/benchreport" --init-factory --config "$WORK/admin.ini" \
    --station-login line1-st1=line1-st1 --station-login line1-st2=line1-st2 \
    --report-login factory_report | sed 's/^/[factory] /' || die "the administrator's step failed"
# Each login's password, in a file of its own (sent to the server over TLS,
# kept there as a SCRAM hash).
for login in line1-st1 line1-st2 factory_report; do
    printf '%s\n' "$(secret)" >"$WORK/$login.pass"
    PGPASSWORD="$PASSWORD" "$PGBIN/psql" -q -v ON_ERROR_STOP=1 -d "$OWNER_DSN dbname=factory" \
        -c "ALTER ROLE \"$login\" PASSWORD '$(head -n 1 "$WORK/$login.pass")'" ||
        die "cannot set the password of $login"
done
say "PostgreSQL $("$PGBIN/postgres" --version | awk '{print $3}') on 127.0.0.1:$PORT, TLS only, database \"factory\" (folder $PG)"
say "logins: line1-st1 and line1-st2 (each adds its own station's cycles only), factory_report (reads)"

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
    {
        printf '[station]\nid=%s\n\n' "$name"
        factory_db "$name" "$WORK/$name.pass"
    } >"$dir/config/station.ini"
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
# A station's connection as the server sees it.
for _ in $(seq 600); do
    row="$(PGPASSWORD="$PASSWORD" "$PGBIN/psql" -At -d "$OWNER_DSN dbname=factory" -c \
        "SELECT a.usename, s.ssl, s.version, s.cipher, s.bits FROM pg_stat_ssl s JOIN pg_stat_activity a USING (pid) WHERE a.usename LIKE 'line1-%' LIMIT 1" 2>/dev/null || true)"
    if [ -n "$row" ]; then
        say "pg_stat_ssl of a station's connection (usename|ssl|version|cipher|bits): $row"
        break
    fi
    kill -0 "${RUN_PIDS[0]}" 2>/dev/null || kill -0 "${RUN_PIDS[1]}" 2>/dev/null || break
    sleep 0.2
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
say "the factory's yield report (benchreport --factory, login factory_report):"
echo
factory_db factory_report "$WORK/factory_report.pass" >"$WORK/report.ini"
(cd "$WORK/line1-st1" && ./benchreport --factory --config "$WORK/report.ini") || status=$?
echo
exit "$status"
