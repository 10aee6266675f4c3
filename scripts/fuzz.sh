#!/usr/bin/env bash
# Runs every fuzz target for a while: a clang build with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, then each target for MINUTES minutes from
# its seed corpus (fuzz/corpus/NAME, read only) into a scratch corpus
# (build-fuzz/fuzz-run/corpus/NAME, emptied first). Memory is limited, so that an input
# which makes a parser allocate a lot is a finding like a crash: 512 MB of resident
# memory, 256 MB in one allocation; an input that takes more than 10 s is one too.
#
#   scripts/fuzz.sh MINUTES [TARGET...]     (default: every target)
#   FUZZ_JOBS=N  targets run N at a time (default 1); FUZZ_NICE=N  niceness (default 19)
#
# Prints one line per target: inputs run, inputs per second, peak memory, findings.
# Findings (crash-*, leak-*, oom-*, timeout-* files) land in build-fuzz/fuzz-run/
# findings/NAME/; minimise one with `build-fuzz/bin/fuzz_NAME -minimize_crash=1 FILE`
# (or -minimize_crash_internal_step for an oom) and add it to fuzz/corpus/NAME/, which
# ctest replays. Exits 1 when any target has a finding, 2 on a usage or build error.
set -euo pipefail

cd "$(dirname "$0")/.."
minutes="${1:-}"
if ! [[ "$minutes" =~ ^[0-9]+$ ]] || [ "$minutes" -lt 1 ]; then
    echo "usage: scripts/fuzz.sh MINUTES [TARGET...]" >&2
    exit 2
fi
shift
jobs="${FUZZ_JOBS:-1}"
niceness="${FUZZ_NICE:-19}"
build=build-fuzz
run="$build/fuzz-run"

if [ "$#" -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for src in fuzz/*.cpp; do
        name="$(basename "$src" .cpp)"
        [ "$name" = replay_main ] || targets+=("$name")
    done
fi
for t in "${targets[@]}"; do
    if [ ! -d "fuzz/corpus/$t" ]; then
        echo "fuzz.sh: no target '$t' (no fuzz/corpus/$t)" >&2
        exit 2
    fi
done

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZARNOTH_FUZZ=ON -DZARNOTH_SANITIZE=ON -DZARNOTH_TESTS=OFF -DZARNOTH_BENCH=OFF >/dev/null || exit 2
fi
build_targets=()
for t in "${targets[@]}"; do build_targets+=("fuzz_$t"); done
nice -n "$niceness" cmake --build "$build" -j2 --target "${build_targets[@]}" >/dev/null || exit 2

seconds=$((minutes * 60))
fuzz_one() {
    local t="$1"
    local corpus="$run/corpus/$t" findings="$run/findings/$t/" log="$run/$t.log"
    rm -rf "$corpus" "$findings"
    mkdir -p "$corpus" "$findings"
    # The scratch corpus comes first: libFuzzer writes new inputs there.
    nice -n "$niceness" "$build/bin/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=512 -malloc_limit_mb=256 \
        -timeout=10 -print_final_stats=1 -artifact_prefix="$findings" "$corpus" "fuzz/corpus/$t" >"$log" 2>&1 || true
}

mkdir -p "$run"
running=0
for t in "${targets[@]}"; do
    fuzz_one "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

# One figure of libFuzzer's final statistics in a target's log.
final_stat() { sed -n "s/^stat::$2: *//p" "$1" | tail -1; }

status=0
printf '%-10s %12s %10s %8s %9s\n' target inputs inputs/s peak_MB findings
for t in "${targets[@]}"; do
    log="$run/$t.log"
    found="$(find "$run/findings/$t" -maxdepth 1 -type f \
        \( -name 'crash-*' -o -name 'leak-*' -o -name 'oom-*' -o -name 'timeout-*' \) | wc -l)"
    execs="$(final_stat "$log" number_of_executed_units)"
    printf '%-10s %12s %10s %8s %9s\n' "$t" "${execs:-?}" "$(final_stat "$log" average_exec_per_sec)" "$(final_stat "$log" peak_rss_mb)" "$found"
    if [ "$found" -gt 0 ] || [ -z "$execs" ]; then
        status=1
    fi
done
exit "$status"
