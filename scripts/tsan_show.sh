#!/usr/bin/env bash
# Plays the whole show under ThreadSanitizer: a clang build with -fsanitize=thread in
# build-tsan (the same folder as the sound tests' TSan build), of the program only. The
# archive generator is not built there (it drives Mesa's renderer, which TSan cannot
# see into, and would take minutes under TSan); the archive is taken from the normal
# build, build/bin/quorvel.pak, and copied next to the program.
#
# The show runs on a private Xvfb (640x480x16) with SDL's disk audio driver and must end
# by itself with exit status 0 and no report; the first report stops the program
# (halt_on_error). The suppressions beside this script cover uninstrumented system
# libraries only.
#
#   scripts/tsan_show.sh        (after the normal build: cmake --build build)
# Exits non-zero on a build failure, a report, a wrong exit status or a hang.
set -euo pipefail

cd "$(dirname "$0")/.."
root="$PWD"
jobs="$(nproc 2>/dev/null || echo 2)"
pak=build/bin/quorvel.pak
if [[ ! -f "$pak" ]]; then
    echo "tsan_show: $pak is missing; build the normal tree first (cmake --build build)" >&2
    exit 1
fi

CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARNOTH_BENCH=OFF \
    -DZARNOTH_BUILD_PAK=OFF -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
    -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j "$jobs" --target zarnoth
cp "$pak" build-tsan/bin/quorvel.pak

work="$(mktemp -d)"
show_pid=""
# shellcheck source=scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
cleanup() {
    if [[ -n "$show_pid" ]]; then
        kill -KILL "$show_pid" 2>/dev/null || true
    fi
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "$work"

export SDL_AUDIODRIVER=disk
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan_show.supp"

# run NAME LIMIT: plays the show and fails unless the program exits with 0 without a
# report, after the show's 82.32 s and within LIMIT seconds, having played sound.
run() {
    local name="$1" limit="$2"
    local log="$work/$name.log" audio="$work/$name.raw" start end status=0
    start=${EPOCHREALTIME/./}
    SDL_DISKAUDIOFILE="$audio" build-tsan/bin/zarnoth >"$log" 2>&1 &
    show_pid=$!
    local waited=0
    while kill -0 "$show_pid" 2>/dev/null; do
        if ((waited >= limit * 10)); then
            echo "tsan_show: $name: still running after $limit s" >&2
            cat "$log" >&2
            exit 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    wait "$show_pid" || status=$?
    show_pid=""
    end=${EPOCHREALTIME/./}
    if ((status != 0)) || grep -q "ThreadSanitizer" "$log"; then
        echo "tsan_show: $name: exit status $status" >&2
        cat "$log" >&2
        exit 1
    fi
    if [[ ! -s "$audio" ]]; then
        echo "tsan_show: $name: no sound was played" >&2
        exit 1
    fi
    local tenths=$(((end - start) / 100000))
    if ((tenths < 823)); then
        echo "tsan_show: $name: ended after $((tenths / 10)).$((tenths % 10)) s, before the show's 82.32 s" >&2
        exit 1
    fi
    echo "tsan_show: $name: exit status 0, no report, $((tenths / 10)).$((tenths % 10)) s"
}

run whole-show 150

# The viewer's soak (tests/soak) under ThreadSanitizer, short: random keys and runs from
# a tick in a window, each step checked against the show's own account (it starts its
# own Xvfb; scripts/viewer_soak.sh runs it long).
cmake --build build-tsan -j "$jobs" --target test_soak
ZARNOTH_SOAK_SECONDS=20 build-tsan/bin/test_soak
