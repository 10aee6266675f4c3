#!/usr/bin/env bash
# Peak resident memory of the whole show beside the floor any GL program pays: on one
# private Xvfb (640x480x16) in the same run, /usr/bin/time -v measures first
# bench_emptywindow (the engine's SDL window and GL context, clearing and swapping,
# nothing loaded), then `zarnoth --windowed` playing the show to its end (82 s) with
# SDL's disk audio driver writing to /dev/null. Prints both peaks and the difference,
# the engine's own share. The whole show is measured because the peak may come late
# (the room's characters, the tunnel's animation).
#
#   bench/memory.sh [BUILD_DIR]     (default: build; needs zarnoth and bench_emptywindow)
# Exits non-zero when a program is missing, fails or Xvfb does not start.
set -euo pipefail

cd "$(dirname "$0")/.."
build="${1:-build}"
for program in zarnoth bench_emptywindow; do
    if [[ ! -x "$build/bin/$program" ]]; then
        echo "memory: $build/bin/$program is missing (cmake --build $build --target $program)" >&2
        exit 1
    fi
done

work="$(mktemp -d)"
# shellcheck source=scripts/xvfb.sh
source scripts/xvfb.sh
cleanup() {
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "$work"
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null

# peak NAME COMMAND...: runs the command under /usr/bin/time -v and prints its peak
# resident set size in kB.
peak() {
    local name="$1"
    shift
    if ! /usr/bin/time -v -o "$work/$name.time" "$@" >"$work/$name.log" 2>&1; then
        echo "memory: $name failed:" >&2
        cat "$work/$name.log" "$work/$name.time" >&2
        exit 1
    fi
    sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$work/$name.time"
}

empty="$(peak empty "$build/bin/bench_emptywindow" 3)"
show="$(peak show "$build/bin/zarnoth" --windowed)"
awk -v empty="$empty" -v show="$show" 'BEGIN {
    print "peak resident memory, same Xvfb, same run:"
    printf "  empty GL window (bench_emptywindow) %8d kB = %6.1f MB\n", empty, empty / 1024
    printf "  whole show (zarnoth --windowed)     %8d kB = %6.1f MB\n", show, show / 1024
    printf "  difference, the engine'"'"'s share     %8d kB = %6.1f MB\n", show - empty, (show - empty) / 1024
}'
