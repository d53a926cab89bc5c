#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for a bounded time.
#
#   fuzz/run.sh BUILD_DIR SECONDS_PER_HARNESS [HARNESS...]
#
# 0 seconds builds the harnesses and runs none.
# BUILD_DIR is configured on first use as a lean clang build (the libraries
# the harnesses need, no tests, no benchmarks). Every harness runs on a copy
# of its seed corpus fuzz/corpus/NAME in BUILD_DIR/fuzz-run/NAME, so the
# repository's corpus is never written; inputs worth keeping stay in that
# copy. Prints per harness its executions and coverage (cov: / ft:), and exits
# non-zero when any harness reports a crash, a leak, a time-out or a failed
# check (the input is left in BUILD_DIR/fuzz-run/NAME/artifacts/).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ $# -lt 2 ]; then
    echo "usage: fuzz/run.sh BUILD_DIR SECONDS_PER_HARNESS [HARNESS...]" >&2
    exit 2
fi
mkdir -p "$1"
BUILD="$(cd "$1" && pwd)"
SECONDS_EACH="$2"
shift 2
JOBS="${STATION_JOBS:-$(nproc 2>/dev/null || echo 2)}"
case "$SECONDS_EACH" in
    ''|*[!0-9]*) echo "fuzz/run.sh: seconds must be a whole number" >&2; exit 2 ;;
esac

HARNESSES=("$@")
if [ ${#HARNESSES[@]} -eq 0 ]; then
    for dir in "$ROOT"/fuzz/corpus/*/; do
        HARNESSES+=("$(basename "$dir")")
    done
fi

say() { printf '[fuzz] %s\n' "$*"; }

command -v clang++ >/dev/null 2>&1 || { say "clang++ is missing (Debian: clang libclang-rt-14-dev)"; exit 1; }

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    launcher=()
    command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    # Debug keeps Qt's own bounds assertions in its inline accessors, so a
    # read past the end of a QByteArray or QString stops the run; -O1 keeps
    # it fast enough.
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
        -DSTATION_FUZZ=ON -DBUILD_TESTING=OFF -DSTATION_BENCH=OFF -DSTATION_WERROR=ON \
        "${launcher[@]}" >/dev/null
fi
say "building the harnesses in $BUILD"
cmake --build "$BUILD" --target fuzzers -j "$JOBS" >"$BUILD/fuzz-build.log" 2>&1 || {
    tail -n 40 "$BUILD/fuzz-build.log"
    say "build failed"
    exit 1
}

# 0 seconds: build the harnesses, run none.
if [ "$SECONDS_EACH" = 0 ]; then
    say "built; 0 seconds: no harness runs"
    exit 0
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen

# run_one NAME: fuzzes one harness; its report goes to
# BUILD/fuzz-run/NAME/report, whose first line is "ok" or "FAILED".
run_one() {
    local name="$1"
    local program="$BUILD/fuzz/fuzz_$name"
    local seeds="$ROOT/fuzz/corpus/$name"
    local work="$BUILD/fuzz-run/$name"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts"
    if [ ! -x "$program" ] || [ ! -d "$seeds" ]; then
        printf 'FAILED\n%s: no such harness\n' "$name" >"$work/report"
        return
    fi
    cp "$seeds"/* "$work/corpus/"
    local seedCount status=0
    seedCount=$(ls "$work/corpus" | wc -l)
    # Leaks inside Qt that a harness must leave out (see the file).
    local lsan="print_suppressions=0"
    [ -f "$ROOT/fuzz/lsan/$name.supp" ] && lsan="$lsan:suppressions=$ROOT/fuzz/lsan/$name.supp"
    (cd "$work" && LSAN_OPTIONS="$lsan" "$program" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
        "$work/corpus") >"$work/fuzz.log" 2>&1 || status=$?
    local executions coverage corpusCount artifacts
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz.log" | tail -n 1)
    coverage=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$work/fuzz.log" | tail -n 1 || true)
    corpusCount=$(ls "$work/corpus" | wc -l)
    artifacts=$(ls "$work/artifacts" | wc -l)
    if [ "$status" -ne 0 ] || [ "$artifacts" -ne 0 ] ||
        grep -qE '^(==[0-9]+==ERROR|SUMMARY: |.*runtime error:|fuzz check failed)' "$work/fuzz.log"; then
        {
            echo FAILED
            echo "$name: FAILED (exit $status) after ${executions:-?} executions; log $work/fuzz.log"
            grep -E 'ERROR|SUMMARY|runtime error|fuzz check failed|Test unit written' "$work/fuzz.log" | head -n 10 || true
        } >"$work/report"
        return
    fi
    printf 'ok\n%s\n' "$name: ${executions:-0} executions in ${SECONDS_EACH} s, ${coverage:-cov: ? ft: ?}, corpus $seedCount -> $corpusCount, ok" >"$work/report"
}

# Each harness is one process on one core: as many at a time as there are
# cores.
running=0
for name in "${HARNESSES[@]}"; do
    run_one "$name" &
    running=$((running + 1))
    if [ "$running" -ge "$JOBS" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

failed=()
for name in "${HARNESSES[@]}"; do
    report="$BUILD/fuzz-run/$name/report"
    if [ ! -f "$report" ]; then
        say "$name: FAILED (no report)"
        failed+=("$name")
        continue
    fi
    tail -n +2 "$report" | head -n 1 | sed 's/^/[fuzz] /'
    if [ "$(head -n 1 "$report")" != ok ]; then
        tail -n +3 "$report"
        failed+=("$name")
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    say "failed: ${failed[*]}"
    exit 1
fi
say "all ${#HARNESSES[@]} harnesses ran clean"
