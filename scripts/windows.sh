#!/usr/bin/env bash
# The 32-bit Windows build of ZARNOTH 3D, cross-compiled with MinGW-w64 and run under Wine.
#   scripts/windows.sh build   install what is missing (scripts/packages-windows.txt), build
#                              libjpeg-turbo, zlib and libpng for the target from Debian's source
#                              packages into build-win/deps (once; later runs reuse them), then
#                              cross-build the engine, zarnoth.exe, kvl.exe and the test programs
#                              into build-win/
#   scripts/windows.sh package build, then zip zarnoth.exe, kvl.exe, quorvel.pak and a short
#                              README.txt into build-win/packages/zarnoth-VERSION-win32.zip
#   scripts/windows.sh test    build and package, then run under Wine, on a private Xvfb and
#                              PulseAudio: the unit test programs, one offscreen picture by the
#                              zipped program unpacked in a folder of its own (zarnoth.exe --shot,
#                              a 640x480 PNG), --video refused (this build has no encoders), then
#                              the whole demo (full screen at 640x480x16 in Wine's virtual
#                              desktop), which must end by itself with status 0
#   scripts/windows.sh run PROGRAM.exe [ARGS...]
#                              runs a program of the build under Wine in that same set-up (no
#                              build step; e.g. build-win/bin/zarnoth.exe --windowed)
# The demo needs build/bin/quorvel.pak from the Linux build (scripts/setup.sh).
# Exits non-zero on the first failure. Prints the time each step took.
set -euo pipefail

mode="${1:-}"
if [[ "$mode" != build && "$mode" != package && "$mode" != test && ! ("$mode" == run && $# -ge 2) ]]; then
    echo "usage: scripts/windows.sh build|package|test|run PROGRAM.exe [ARGS...]" >&2
    exit 2
fi
shift
if [[ "$mode" == run ]]; then
    program="$(realpath "$1")"
    shift
fi
caller_dir="$PWD"

cd "$(dirname "$0")/.."
root="$PWD"
jobs="$(nproc 2>/dev/null || echo 2)"
out="$root/build-win"
deps="$out/deps"
prefix="$deps/prefix"
toolchain="$root/cmake/toolchain-mingw-i686.cmake"
triplet=i686-w64-mingw32

jpeg_args=(-DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm)
png_args=()
dep_cmake() {
    local name="$1" src="$2"
    shift 2
    cmake -S "$src" -B "$deps/build-$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DZARNOTH_WIN_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        "$@" >"$deps/$name-configure.log"
}
# shellcheck source=scripts/deps.sh
source "$root/scripts/deps.sh"

# Wine and its 32-bit libraries need the i386 architecture.
ensure_i386() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "Adding the i386 architecture"
        "${sudo[@]}" dpkg --add-architecture i386
        apt_updated=0
        need_update=1
    fi
}

install_packages() {
    need_update=0
    ensure_i386
    ensure_deb_src
    install_package_list scripts/packages-windows.txt
}

cross_build() {
    step "configure build-win"
    local first=()
    if [[ ! -f "$out/CMakeCache.txt" ]]; then
        first=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DZARNOTH_WIN_DEPS="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
    fi
    cmake -S . -B "$out" "${first[@]}" >"$out/configure.log" || { cat "$out/configure.log"; exit 1; }
    step "cross build"
    cmake --build "$out" -j "$jobs"
    step_done
    # Only system DLLs: the C and C++ runtimes and the libraries are linked in.
    local exe dlls
    for exe in "$out"/bin/*.exe; do
        dlls="$("$triplet-objdump" -p "$exe" | awk '/DLL Name/ {printf "%s ", $3}')"
        echo "$(basename "$exe"): $dlls"
        if grep -qiE '(^| )(lib|zlib)[^ ]*\.dll' <<<"$dlls"; then
            echo "$(basename "$exe") needs a DLL that is not part of Windows" >&2
            exit 1
        fi
    done
}


# The zip for Windows users: the two programs, the archive from the Linux build and the
# text on how to start them, at the top level of the zip. Sets package_zip.
package_zip=""
make_package() {
    step "package"
    if [[ ! -f build/bin/quorvel.pak ]]; then
        echo "build/bin/quorvel.pak is missing: build for Linux first (scripts/setup.sh)" >&2
        exit 1
    fi
    local version staging
    version="$(sed -n 's/^project(zarnoth VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)"
    staging="$out/packages/zarnoth-$version-win32"
    rm -rf "$out/packages"
    mkdir -p "$staging"
    cp "$out/bin/zarnoth.exe" "$out/bin/kvl.exe" build/bin/quorvel.pak "$staging/"
    # Windows editors want CR LF line ends.
    sed 's/$/\r/' packaging/README-windows.txt >"$staging/README.txt"
    package_zip="$out/packages/zarnoth-$version-win32.zip"
    (cd "$staging" && zip -q -X -9 "$package_zip" zarnoth.exe kvl.exe quorvel.pak README.txt)
    rm -rf "$staging"
    step_done
    echo "$package_zip"
}

# The Wine runs use servers of their own, stopped when the script ends.
# shellcheck source=scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
pulse_pid=""
stop_servers() {
    if [[ -n "${WINEPREFIX:-}" && -d "${WINEPREFIX:-}" ]]; then
        wineserver -k 2>/dev/null || true
    fi
    if [[ -n "$pulse_pid" ]]; then
        kill "$pulse_pid" 2>/dev/null || true
        wait "$pulse_pid" 2>/dev/null || true
    fi
    stop_xvfb
}
trap stop_servers EXIT

# A PulseAudio daemon of this run's own (also as root: a per-user daemon with its own
# runtime folder, not the system-wide one), playing into a null sink whose monitor is
# the recording device, so that Wine's sound driver finds devices for DirectSound and
# the wave functions.
start_pulseaudio() {
    local dir="$out/pulse"
    rm -rf "$dir"
    mkdir -p "$dir/runtime" "$dir/state"
    export PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state"
    export PULSE_SERVER="unix:$dir/runtime/native"
    export PULSE_COOKIE="$dir/cookie"
    # No session bus: the daemon would try to start one for the X display.
    env -u DISPLAY DBUS_SESSION_BUS_ADDRESS=disabled: pulseaudio --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes -n \
        --load="module-native-protocol-unix socket=$dir/runtime/native auth-anonymous=1" \
        --load="module-null-sink sink_name=zarnoth_null" \
        --load="module-always-sink" \
        >"$dir/pulseaudio.log" 2>&1 &
    pulse_pid=$!
    local i
    for i in $(seq 1 100); do
        if pactl info >/dev/null 2>&1; then
            # Recording hears what is played: the capture tests check that.
            pactl set-default-sink zarnoth_null
            pactl set-default-source zarnoth_null.monitor
            return
        fi
        if ! kill -0 "$pulse_pid" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    echo "PulseAudio did not start:" >&2
    cat "$dir/pulseaudio.log" >&2
    exit 1
}

# A Wine prefix of this build's own: every window opens in a 640x480 virtual desktop,
# where the display mode change succeeds without touching the X server's screen, and
# sound goes to PulseAudio.
start_wine() {
    export WINEPREFIX="$out/wineprefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        wineboot -i >"$out/wineboot.log" 2>&1
    fi
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Zarnoth /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Zarnoth /d 1024x768 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
    wineserver -w
}

if [[ "$mode" == run ]]; then
    mkdir -p "$out"
    # 16 bits per pixel: the demo switches the display to 640x480x16.
    start_xvfb "$out" 1024x768x16
    start_pulseaudio
    start_wine
    echo "Wine runs on the X display $DISPLAY" >&2
    status=0
    (cd "$caller_dir" && wine "$program" "$@") || status=$?
    exit "$status"
fi

step "install packages"
install_packages
build_deps "$triplet"
mkdir -p "$out"
cross_build

if [[ "$mode" == build ]]; then
    exit 0
fi
make_package
if [[ "$mode" == package ]]; then
    exit 0
fi

step "start Xvfb, PulseAudio and Wine"
# 16 bits per pixel: the demo switches the display to 640x480x16.
start_xvfb "$out" 1024x768x16
start_pulseaudio
start_wine

# The demo and its tests read the archive next to the programs.
if [[ ! -f build/bin/quorvel.pak ]]; then
    echo "build/bin/quorvel.pak is missing: build for Linux first (scripts/setup.sh)" >&2
    exit 1
fi
cp build/bin/quorvel.pak "$out/bin/quorvel.pak"

step "unit tests under Wine"
status=0
ZARNOTH_NO_MESSAGE_BOX=1 ctest --test-dir "$out" --output-on-failure || status=$?
# Each ctest entry is a whole program: its GoogleTest counts.
awk '/^[0-9]+\/[0-9]+ Test: / {name = $3}
     /^\[==========\] [0-9]+ tests? from .* ran/ {ran = $2}
     /^\[  PASSED  \] [0-9]+ test/ {passed = $4}
     /^\[  SKIPPED \] [0-9]+ test/ {skipped = $4}
     /^\[  FAILED  \] [0-9]+ test/ {failed = $4}
     /^Test (Passed|Failed)/ && name != "" {
         printf "%-14s %4d tests: %d passed, %d skipped, %d failed\n", name, ran, passed, skipped, failed
         name = ""; ran = passed = skipped = failed = 0 }' "$out/Testing/Temporary/LastTest.log"
if ((status != 0)); then
    exit "$status"
fi

if [[ ! -f "$out/bin/zarnoth.exe" ]]; then
    echo "zarnoth.exe was not built (the Win32 backend is incomplete)" >&2
    exit 1
fi

# Runs a program under Wine in folder $1 with a time limit of $2 seconds, its output in
# the log $3; sets status. A failing check prints its message and that log.
wine_run() {
    local dir="$1" limit="$2" log="$3"
    shift 3
    status=0
    (cd "$dir" && ZARNOTH_NO_MESSAGE_BOX=1 timeout "$limit" wine "$@") >"$log" 2>&1 || status=$?
}
fail_with_log() {
    echo "$1" >&2
    cat "$2" >&2
    exit 1
}

# The zip holds the four files and nothing else; unpacked in a folder of its own, its
# program renders one picture of the credits scene through the offscreen renderer and
# the program's own clock: a PNG of the show's size must come out (ImageMagick reads it).
step "zipped zarnoth.exe --shot under Wine"
unpacked="$out/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && unzip -q "$package_zip")
zip_files="$(cd "$unpacked" && find . -type f | sort | tr '\n' ' ')"
if [[ "$zip_files" != "./README.txt ./kvl.exe ./quorvel.pak ./zarnoth.exe " ]]; then
    echo "the zip holds $zip_files instead of zarnoth.exe, kvl.exe, quorvel.pak and README.txt" >&2
    exit 1
fi
wine_run "$unpacked" 300 "$out/shot.log" zarnoth.exe --shot 700 -o shot.png
step_done
if ((status != 0)) || [[ ! -s "$unpacked/shot.png" ]]; then
    fail_with_log "zarnoth.exe --shot ended with status $status and no picture" "$out/shot.log"
fi
shot="$(identify -format '%m %wx%h' "$unpacked/shot.png" 2>&1)" || true
if [[ "$shot" != "PNG 640x480" ]]; then
    echo "zarnoth.exe --shot wrote no 640x480 PNG: $shot" >&2
    exit 1
fi
echo "zipped zarnoth.exe --shot: $shot"

# Without FFmpeg, --video says so and fails before any work.
step "zarnoth.exe --video refused"
wine_run "$unpacked" 120 "$out/video.log" zarnoth.exe --video show.mp4
step_done
if ((status != 1)) || ! grep -q "cannot write videos" "$out/video.log" || [[ -e "$unpacked/show.mp4" ]]; then
    fail_with_log "zarnoth.exe --video ended with status $status (1 and a message expected):" "$out/video.log"
fi

step "the whole demo under Wine"
demo_started="$(now_ms)"
wine_run "$out/bin" 300 "$out/demo.log" zarnoth.exe
demo_ms=$(($(now_ms) - demo_started))
step_done
printf 'zarnoth.exe ended with status %d after %d.%d s\n' "$status" $((demo_ms / 1000)) $((demo_ms % 1000 / 100))
if ((status != 0)); then
    fail_with_log "zarnoth.exe failed" "$out/demo.log"
fi
# The show lasts about 84 s; a run much shorter than that did not play it through.
if ((demo_ms < 70000)); then
    fail_with_log "zarnoth.exe ended too early" "$out/demo.log"
fi
echo "Windows tests passed."
