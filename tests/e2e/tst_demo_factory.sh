#!/usr/bin/env bash
# ./station demo --factory (scripts/demo-factory.sh) with 4 DUTs a station:
# a PostgreSQL server of its own, two stations forwarding into it, the
# factory report with the second station's slot 3 flagged, and nothing left
# running or lying about afterwards.
#   tst_demo_factory.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
SRC="$1"
BUILD="$2"
OUT="$(mktemp)"
trap 'rm -f "$OUT"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

STATION_DEMO_DUTS=4 STATION_DEMO_CYCLES=3 "$SRC/scripts/demo.sh" "$BUILD" --factory \
    >"$OUT" 2>&1 </dev/null || { cat "$OUT"; fail "the demo ended with $?"; }
grep -q 'database "factory"' "$OUT" || fail "no server"
[ "$(grep -c ': every cycle forwarded$' "$OUT")" -eq 2 ] || { cat "$OUT"; fail "not both stations forwarded everything"; }
grep -q '^  source: factory database 127.0.0.1:[0-9]*/factory$' "$OUT" || fail "the report is not the factory's"
grep -q '^  cycles: 6, started ' "$OUT" || { cat "$OUT"; fail "not 6 cycles in the factory database"; }
grep -Eq '^  line1-st1 +3 +12 +12 +100.0 %' "$OUT" || { cat "$OUT"; fail "line1-st1's yield"; }
grep -Eq '^  line1-st2 +3 +3 +0.0 %.*FIXTURE\?$' "$OUT" || { cat "$OUT"; fail "slot 3 of line1-st2 not flagged"; }
[ "$(grep -c 'FIXTURE?$' "$OUT")" -eq 1 ] || fail "another slot flagged"
grep -q 'PostgreSQL server stopped' "$OUT" || fail "the server was not stopped"

folder="$(sed -n 's/.*(folder \(.*\)\/pg)$/\1/p' "$OUT")"
[ -n "$folder" ] || fail "no folder named"
[ ! -e "$folder" ] || fail "$folder left behind"
if pgrep -f "$folder" >/dev/null; then fail "processes left: $(pgrep -af "$folder")"; fi
echo "factory demo: passed"
