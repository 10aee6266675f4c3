#!/usr/bin/env bash
# How fast a video export runs against drawing the same pictures alone, in one run:
#
#   bench/export.sh SIZE FPS [SSAA] [PRESET]      e.g. bench/export.sh 1920x1080 60 2
#
# Pass 1 draws and reads back every picture of the show with no encoder: `zarnoth
# --render-only` where the program has it; an older program has no such mode, and the
# pass is then `--capture` into a folder in memory (/dev/shm), so its figure includes
# writing the PNG files and the ratio below comes out low. Pass 2 is the export,
# `zarnoth --video` (H.264, the program's default preset unless PRESET is given).
#
# Prints for each pass the wall time, pictures per second, the factor to real time
# (the show's length as the video holds it, over the wall time) and the CPU time
# (user + system, from /usr/bin/time); then the ratio export / render-only, and where
# the export's CPU time goes (perf's samples by library: rendering is Mesa and its
# generated code, conversion libswscale, encoding libx264 and the other FFmpeg
# libraries) when perf can sample; without perf that line says so. The machine's
# load is printed before each pass: the figures are only worth comparing on a quiet
# machine.
#
# ZARNOTH=path picks the program (default build/bin/zarnoth of this checkout). The
# offscreen modes need no display. Needs bash, /usr/bin/time and ffprobe.
set -euo pipefail

if (($# < 2 || $# > 4)); then
    echo "usage: bench/export.sh SIZE FPS [SSAA] [PRESET]" >&2
    exit 2
fi
size="$1" fps="$2" ssaa="${3:-1}" preset="${4:-}"
root="$(cd "$(dirname "$0")/.." && pwd)"
zarnoth="${ZARNOTH:-$root/build/bin/zarnoth}"
for tool in /usr/bin/time ffprobe; do
    if ! command -v "$tool" >/dev/null; then
        echo "export.sh: $tool is needed" >&2
        exit 1
    fi
done
if [[ ! -x "$zarnoth" ]]; then
    echo "export.sh: no program at $zarnoth (build it, or set ZARNOTH)" >&2
    exit 1
fi

base=/tmp
[[ -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
work="$(mktemp -d "$base/zarnoth-export.XXXXXX")"
trap 'rm -rf "$work"' EXIT

common=(--size "$size" --ssaa "$ssaa" --fps "$fps")
if "$zarnoth" --help | grep -q -- '--render-only'; then
    render=(--render-only)
    render_note="--render-only"
else
    mkdir "$work/capture"
    render=(--capture "$work/capture")
    render_note="--capture to $base (includes writing PNG files: this program has no --render-only)"
fi
video=(--video "$work/show.mp4")
[[ -n "$preset" ]] && video+=(--preset "$preset")

have_perf=0
if command -v perf >/dev/null && perf record -q -o "$work/probe.data" -- true >/dev/null 2>&1; then
    have_perf=1
fi

# timed NAME ARGS...: runs the program, leaving "wall user sys" in $work/NAME.time.
timed() {
    local name="$1"
    shift
    echo "  $name: load $(cut -d ' ' -f 1-3 /proc/loadavg)"
    if ! /usr/bin/time -f "%e %U %S" -o "$work/$name.time" "$@" 2>"$work/$name.err"; then
        echo "export.sh: the $name pass failed:" >&2
        cat "$work/$name.err" >&2
        exit 1
    fi
}

echo "zarnoth export bench: $size at $fps pictures/s, ssaa $ssaa, preset ${preset:-default}"
timed render "$zarnoth" "${render[@]}" "${common[@]}"
if ((have_perf)); then
    # Sampling costs about one per cent; the CPU time counts perf's own share too.
    timed export perf record -q -F 499 -o "$work/export.data" -- "$zarnoth" "${video[@]}" "${common[@]}"
else
    timed export "$zarnoth" "${video[@]}" "${common[@]}"
fi

pictures="$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
    -of default=noprint_wrappers=1:nokey=1 "$work/show.mp4")"
show="$(ffprobe -v error -show_entries format=duration -of default=noprint_wrappers=1:nokey=1 "$work/show.mp4")"

read -r render_wall render_user render_sys <"$work/render.time"
read -r export_wall export_user export_sys <"$work/export.time"
awk -v n="$pictures" -v show="$show" -v rw="$render_wall" -v ru="$render_user" -v rs="$render_sys" \
    -v ew="$export_wall" -v eu="$export_user" -v es="$export_sys" -v note="$render_note" 'BEGIN {
    printf "  render-only (%s)\n", note
    printf "    %.1f s, %.1f pictures/s, %.2f x real time, CPU %.1f s (%.0f %% of one core)\n",
        rw, n / rw, show / rw, ru + rs, 100 * (ru + rs) / rw
    printf "  export: %d pictures, %.2f s of show\n", n, show
    printf "    %.1f s, %.1f pictures/s, %.2f x real time, CPU %.1f s (%.0f %% of one core)\n",
        ew, n / ew, show / ew, eu + es, 100 * (eu + es) / ew
    printf "  export / render-only: %.2f (wall), %.2f (CPU)\n", ew / rw, (eu + es) / (ru + rs)
}'

if ((have_perf)); then
    # perf's report: one line per library with its share of the samples.
    perf report -i "$work/export.data" --sort dso --stdio 2>/dev/null | awk '
        /^ *[0-9.]+%/ {
            share = $1; sub(/%/, "", share); dso = $2
            if (dso ~ /x264/ || dso ~ /libavcodec|libavformat|libavutil|libswresample/) part = "encoding"
            else if (dso ~ /swscale/) part = "conversion"
            else if (dso ~ /gallium|dri|llvm|LLVM|mesa|GL|perf-[0-9]+\.map|JIT|\[unknown\]/) part = "rendering"
            else if (dso ~ /zarnoth/) part = "program"
            else if (dso ~ /kernel/) part = "kernel"
            else part = "other"
            total[part] += share
        }
        END {
            printf "  export CPU by part (perf samples): "
            n = split("rendering conversion encoding program kernel other", order, " ")
            for (i = 1; i <= n; ++i) printf "%s %.1f %%%s", order[i], total[order[i]], i < n ? ", " : "\n"
        }'
else
    echo "  export CPU by part: perf cannot sample here; only the totals above"
fi
