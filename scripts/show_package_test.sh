#!/usr/bin/env bash
# The show runtime as another project uses it: the engine installed into a fresh prefix
# (`cmake --install build --component dev` and the program component, which holds the
# video module), examples/your_own_show built against that prefix alone, its data folder
# filled with members of the demo's archive (build/bin/quorvel.pak), then:
#   - --shot at a tick of each scene gives the same bytes at --fps 10, 30 and 60, and
#     the two scenes' pictures differ and are not blank;
#   - --video with FFV1 and the same with --jobs 2 decode to the same pictures and
#     sound, as many pictures as the frame rule gives, and the sound is not silence
#     (the music named by YOUR_OWN_SHOW_MUSIC; without it, music.mp3 in the data folder
#     plays the same shot);
#   - --help lists --shot, --video and --jobs; a live-only option with --shot is refused;
#     a soundtrack that cannot be opened is an error naming the file and why;
#   - the installed module sits where the installed show looks for it (relative to the
#     prefix), unless a system-wide one is there; the demo installed into this prefix
#     (not the one it was built for) finds its module relative to its own folder;
#     ZARNOTH_VIDEO_MODULE naming the module makes --video work, naming a missing file
#     is an error naming it even with a module beside the program;
#   - on Xvfb, the windowed show started at a tick where the picture stands still shows
#     what --shot gives (import -window root against the shot, PSNR over 25 dB; a black
#     screen scores 8, the next scene 8), with the music from that tick's own sample;
#     then paused, the key of the second scene shows what --shot gives at its first tick,
#     and the music goes on from that tick's sample.
# The show's ticks are 20 ms, not the engine's default 14: the picture counts, the
# soundtrack's length and a tick's sample follow from its own tick length.
# Needs build/ configured and built (scripts/setup.sh). Under CI=true a missing tool fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
fail() {
    echo "show_package_test.sh: $*" >&2
    exit 1
}
for tool in ffmpeg Xvfb import compare-im6.q16 convert-im6.q16 cmp xdotool; do
    if ! command -v "$tool" >/dev/null; then
        [[ "${CI:-}" == true ]] && fail "no $tool (scripts/packages.txt)"
        echo "show_package_test.sh: skipped: no $tool"
        exit 0
    fi
done
archive="$root/build/bin/quorvel.pak"
[[ -f "$archive" && -x build/bin/kvl ]] || fail "no $archive or build/bin/kvl (build the demo first)"
jobs="$(nproc 2>/dev/null || echo 2)"

work="$(mktemp -d)"
show_pid=""
# shellcheck source=scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
cleanup() {
    if [[ -n "$show_pid" ]]; then
        kill "$show_pid" 2>/dev/null || true
        wait "$show_pid" 2>/dev/null || true
    fi
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT

prefix="$work/prefix"
for component in dev program; do
    cmake --install build --component "$component" --prefix "$prefix" >"$work/install.log" ||
        { cat "$work/install.log"; fail "install of $component failed"; }
done
cp -r "$prefix/share/doc/zarnoth-dev/examples/your_own_show" "$work/src"
if ! cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/build.log" 2>&1 ||
    ! cmake --build "$work/build" -j "$jobs" >>"$work/build.log" 2>&1; then
    cat "$work/build.log"
    fail "your_own_show does not build"
fi
show="$work/build/your_own_show"
data="$work/build/your_own_show_data"
mkdir "$data"
build/bin/kvl pak extract "$archive" 'tex\prt.jpg' "$data/picture.jpg" >/dev/null
build/bin/kvl pak extract "$archive" 'md2\ddz\m.md2' "$data/model.md2" >/dev/null
build/bin/kvl pak extract "$archive" 'md2\ddz\ddz.pcx' "$data/skin.pcx" >/dev/null
build/bin/kvl pak extract "$archive" 'snd\qv.mp3' "$work/music.mp3" >/dev/null
export YOUR_OWN_SHOW_MUSIC="$work/music.mp3"
cd "$work"

# Where the installed show looks for the video module: the build's own LIBDIR/zarnoth
# (the package's prefix). Its message names that place when neither it nor a module
# beside the program is there; the prefix holds the module at the same place below it.
module="$(find "$prefix" -name zarnoth_video.so)"
[[ -n "$module" ]] || fail "the prefix has no zarnoth_video.so"
system_module=""
if "$show" --video none.mkv --codec ffv1 --size 160x120 --from 0 --to 10 >module.log 2>&1; then
    system_module=yes
    echo "  video module: a system-wide one was found, where it was looked for is not checked"
else
    looked="$(grep -o "nor /[^ ]*zarnoth_video.so" module.log | tail -n 1 | sed 's/^nor //')" ||
        { cat module.log; fail "--video without a module does not say where it looked"; }
    [[ -n "$looked" ]] || { cat module.log; fail "--video without a module does not say where it looked"; }
    [[ "$prefix$looked" -ef "$module" || "$prefix${looked#/usr}" -ef "$module" ]] ||
        fail "the show looks for the module at $looked, the package installs it at ${module#"$prefix"}"
    echo "  video module: installed at PREFIX${module#"$prefix"}, where the installed show looks ($looked)"
fi
# The installed demo, in a prefix it was not configured for, loads the module from
# BINDIR/../LIBDIR/zarnoth: the module judges the codec.
refusal="$("$prefix/bin/zarnoth" --video moved.mkv --codec vp9 2>&1)" && fail "--codec vp9 was taken"
[[ "$refusal" == *"unknown codec 'vp9'"* ]] || fail "the demo installed into $prefix does not load its module: $refusal"
if [[ -n "$system_module" ]]; then
    echo "  video module: the demo installed into another prefix loads one (maybe the system-wide one): $refusal"
else
    echo "  video module: the demo installed into another prefix loads its own ($refusal)"
fi
# ZARNOTH_VIDEO_MODULE names the module exactly: with it the show finds one; a missing
# file named there is the error, even with a module beside the program.
ZARNOTH_VIDEO_MODULE="$module" "$show" --video named.mkv --codec ffv1 --size 160x120 --from 0 --to 10 >named.log 2>&1 ||
    { cat named.log; fail "--video with ZARNOTH_VIDEO_MODULE=$module failed"; }
[[ -s named.mkv ]] || fail "--video with ZARNOTH_VIDEO_MODULE wrote no named.mkv"
cp "$module" "$work/build/"
status=0
ZARNOTH_VIDEO_MODULE="$work/missing.so" "$show" --video missing.mkv --codec ffv1 >missing.log 2>&1 || status=$?
((status == 1)) && grep -q "^your_own_show: .*there is no $work/missing.so (named by ZARNOTH_VIDEO_MODULE)" missing.log &&
    [[ ! -e missing.mkv ]] || { cat missing.log; fail "ZARNOTH_VIDEO_MODULE naming a missing file was not the error (status $status)"; }
echo "  ZARNOTH_VIDEO_MODULE: the module named works; a missing one is refused: $(head -n 1 missing.log)"

# Shots: one tick in each scene, at three frame rates.
for tick in 100 450; do
    for fps in 10 30 60; do
        "$show" --shot "$tick" -o "shot_${tick}_$fps.png" --fps "$fps" --size 160x120 >shot.log 2>&1 ||
            { cat shot.log; fail "--shot $tick --fps $fps failed"; }
    done
    cmp shot_${tick}_10.png shot_${tick}_30.png && cmp shot_${tick}_10.png shot_${tick}_60.png ||
        fail "--shot $tick differs between --fps 10, 30 and 60"
    spread="$(convert-im6.q16 "shot_${tick}_10.png" -colorspace gray -format '%[fx:standard_deviation]' info:)"
    awk -v s="$spread" 'BEGIN { exit !(s > 0.02) }' || fail "--shot $tick is nearly one colour (spread $spread)"
done
cmp -s shot_100_10.png shot_450_10.png && fail "the two scenes' shots are the same picture"
echo "  --shot 100 and 450: the same bytes at --fps 10, 30 and 60; two different pictures"
# Without the variable, the music is music.mp3 in the data folder.
cp "$work/music.mp3" "$data/music.mp3"
env -u YOUR_OWN_SHOW_MUSIC "$show" --shot 100 -o default.png --fps 10 --size 160x120 >shot.log 2>&1 ||
    { cat shot.log; fail "--shot with music.mp3 in the data folder failed"; }
cmp default.png shot_100_10.png || fail "the shot differs with the data folder's music.mp3"
rm "$data/music.mp3"

# Videos: whole, and in two parts run at once and joined.
video=(--codec ffv1 --fps 25 --size 160x120)
"$show" --video whole.mkv "${video[@]}" >whole.log 2>&1 || { cat whole.log; fail "--video failed"; }
"$show" --video jobs.mkv "${video[@]}" --jobs 2 >jobs.log 2>&1 || { cat jobs.log; fail "--video --jobs 2 failed"; }
for v in whole jobs; do
    ffmpeg -v error -i $v.mkv -map 0:v -f rawvideo -pix_fmt rgb24 $v.rgb || fail "ffmpeg cannot decode $v.mkv's pictures"
    ffmpeg -v error -i $v.mkv -map 0:a -f s16le $v.pcm || fail "ffmpeg cannot decode $v.mkv's sound"
done
cmp whole.rgb jobs.rgb || fail "--jobs 2 gives other pictures than the whole video"
cmp whole.pcm jobs.pcm || fail "--jobs 2 gives other sound than the whole video"
# The show's 600 ticks of 20 ms at 25 pictures a second: pictures 0 to 299 (step
# floor(k * 10000 / 500) < 6000). At the engine's default 14 ms it would be 210.
pictures=$(($(stat -c %s whole.rgb) / (160 * 120 * 3)))
((pictures == 300)) || fail "the video has $pictures pictures, not 300"
[[ -n "$(tr -d '\0' <whole.pcm | head -c 1)" ]] || fail "the video's sound is silence"
echo "  --video (FFV1) and --video --jobs 2: the same $pictures pictures and $(stat -c %s whole.pcm) bytes of sound"

# A WAV soundtrack plays as it is: the show's soundtrack at 25 pictures a second is the
# file's first 300 * 44100 / 25 frames, sample for sample.
ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=13" -ac 2 -c:a pcm_s16le music.wav ||
    fail "ffmpeg cannot make music.wav"
YOUR_OWN_SHOW_MUSIC="$PWD/music.wav" "$show" --soundtrack played.wav --fps 25 >wav.log 2>&1 ||
    { cat wav.log; fail "--soundtrack with WAV music failed"; }
for w in music played; do
    ffmpeg -v error -i $w.wav -f s16le -ac 2 -ar 44100 $w.raw || fail "ffmpeg cannot read $w.wav"
done
bytes=$((529200 * 4))
(($(stat -c %s played.raw) == bytes)) || fail "the WAV show's soundtrack holds $(stat -c %s played.raw) bytes, not $bytes"
cmp played.raw <(head -c $bytes music.raw) || fail "the WAV show's soundtrack is not the music's samples"
echo "  WAV music: the soundtrack is the file's first 529200 frames, sample for sample"

# The command line.
"$show" --help >help.txt || fail "--help failed"
for option in --shot --video --jobs; do
    grep -q -- "$option" help.txt || fail "--help does not list $option"
done
status=0
"$show" --windowed --shot 100 -o x.png >refused.log 2>&1 || status=$?
((status == 1)) && grep -q -- "--windowed" refused.log && [[ ! -e x.png ]] ||
    { cat refused.log; fail "--windowed with --shot was not refused (status $status)"; }
echo "  --help lists --shot, --video, --jobs; --windowed --shot refused (status $status): $(head -n 1 refused.log)"
# A soundtrack that cannot play: the error names the file and why.
status=0
YOUR_OWN_SHOW_MUSIC="$work/missing.mp3" "$show" --shot 100 -o x.png >nomusic.log 2>&1 || status=$?
((status == 1)) && grep -q "Unable to play music: .*$work/missing.mp3.*No such file" nomusic.log ||
    { cat nomusic.log; fail "a missing soundtrack was not named (status $status)"; }
echo "  a missing soundtrack (status $status): $(head -n 1 nomusic.log)"

# The live show on a display, started at tick 160 of the picture (all shown from 150 to
# 300): the screen is taken until it shows what --shot 200 gives, for at most about 4 s
# (the window may be slow to open on a loaded machine; the clock starts with the show,
# and 2.8 s later it is in its next scene, whose pictures score under 10 dB). Then keys
# as a viewer presses them: Space pauses, 2 seeks to the model's first tick (300),
# where the paused screen must show what --shot 300 gives, and Space goes on.
start_xvfb "$work" 640x480x24
for tick in 200 300; do
    "$show" --shot $tick -o live_$tick.png --size 640x480 >/dev/null 2>&1 || fail "--shot $tick failed"
done
# Its music is noise, so that where the music is can be found in what the sound device
# was given: SDL's disk driver keeps it.
ffmpeg -v error -f lavfi -i "anoisesrc=d=10:c=white:r=44100:a=0.5:seed=7" -ac 2 -c:a pcm_s16le noise.wav ||
    fail "ffmpeg cannot make noise.wav"
ffmpeg -v error -i noise.wav -f s16le noise.raw || fail "ffmpeg cannot read noise.wav"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/live.raw" YOUR_OWN_SHOW_MUSIC="$PWD/noise.wav" \
    "$show" --windowed --start 160 >live.log 2>&1 &
show_pid=$!
# Waits until the screen shows shot.png (PSNR over 25 dB), at most about 4 s.
screen_shows() {
    psnr=none
    for _ in $(seq 16); do
        sleep 0.25
        import -window root screen.png
        psnr="$(compare-im6.q16 -metric PSNR screen.png "$1" null: 2>&1 || true)"
        awk -v p="${psnr%% *}" 'BEGIN { exit !(p == "inf" || p + 0 > 25) }' && return 0
        psnr="$psnr (not yet)"
    done
    return 1
}
screen_shows live_200.png || { cat live.log; fail "the window never showed --shot 200's picture (last PSNR $psnr)"; }
echo "  windowed --start 160 on Xvfb: the screen against --shot 200, PSNR $psnr dB"
# The pointer over the window gives it the keys (no window manager here).
xdotool mousemove 320 240 key space
sleep 0.3
xdotool key 2
screen_shows live_300.png || { cat live.log; fail "paused, key 2 never showed --shot 300's picture (last PSNR $psnr)"; }
echo "  paused, key 2: the screen against --shot 300, PSNR $psnr dB"
xdotool key space
sleep 0.5
kill "$show_pid" 2>/dev/null || true
wait "$show_pid" 2>/dev/null || true
show_pid=""
# The music from tick 160's own sample (160 * 20 ms at 44100 Hz: frame 141120) on, and
# after the seek from tick 300's (frame 264600) on: what the device was given holds each
# from some point on, sample for sample, and not the frame before it (so neither starts
# a frame early or late). After the second, only silence: the show stops its music when
# asked to quit, and the device may be given a buffer or two of silence before it closes.
heard="$(/usr/bin/python3 - "$work/live.raw" noise.raw <<'PY'
import sys
heard = open(sys.argv[1], "rb").read()
whole = open(sys.argv[2], "rb").read()
def found(frame):
    """Where the music from 'frame' begins in what was heard, and for how many frames."""
    at = heard.find(whole[frame * 4:(frame + 1024) * 4])
    while at >= 0 and at % 4 != 0:
        at = heard.find(whole[frame * 4:(frame + 1024) * 4], at + 1)
    if at < 0 or (at > 0 and heard[at - 4:at] == whole[(frame - 1) * 4:frame * 4]):
        return None
    n = 0
    while at + 4 * n < len(heard) and heard[at + 4 * n:at + 4 * n + 4] == whole[(frame + n) * 4:(frame + n + 1) * 4]:
        n += 1
    return at // 4, n
start, seek = found(141120), found(264600)
after = heard[(seek[0] + seek[1]) * 4:] if seek else b""
ok = start and seek and start[1] >= 4096 and seek[1] >= 4096 and seek[0] > start[0] and after.count(0) == len(after)
print(f"{start[1]} {start[0]} {seek[1]} {seek[0]} {len(after) // 4}" if ok else
      f"none {start} {seek} {len(heard) // 4} frames heard, {len(after) - after.count(0)} bytes after the second not silence")
PY
)"
[[ "$heard" != none* ]] || fail "the sound device did not get the music from tick 160's sample (frame 141120) on, then from tick 300's (frame 264600) on, then silence: ${heard#none }"
read -r n160 at160 n300 at300 silent <<<"$heard"
echo "  the music from tick 160's sample (frame 141120) on: $n160 frames of it after $at160 frames;" \
    "after the seek from tick 300's (frame 264600) on: $n300 frames after $at300, sample for sample;" \
    "then $silent frames of silence"
echo "Show package tests passed."
