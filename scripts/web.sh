#!/usr/bin/env bash
# ZARNOTH 3D in a web browser: WebAssembly (Emscripten), WebGL 1 and Web Audio.
#   scripts/web.sh build   install what is missing (scripts/packages-web.txt), build zlib,
#                          libpng and libjpeg-turbo for wasm from Debian's source packages
#                          into build-web/deps (once; later runs reuse them), then the
#                          program into build-web/ and put the page, its script, the
#                          sound's worklet module and quorvel.pak in build-web/site/
#   scripts/web.sh serve [PORT]
#                          serves build-web/site/ on http://127.0.0.1:PORT/ (default 8080)
#                          with a plain static server (no special headers)
#   scripts/web.sh test    ESLint over the project's JavaScript (scripts/lint_js.sh), the
#                          build, then the page driven in headless Chromium (DevTools
#                          protocol), headless Firefox ESR (WebDriver BiDi) and WebKitGTK
#                          (MiniBrowser through WebKitWebDriver), the last two on a
#                          private Xvfb for their WebGL and a private PulseAudio with a
#                          null sink for their sound, from that server
#                          (tests/web/web_test.py): the start screen, the whole show with
#                          its sound (hidden for a while on the way), the viewer's keys
#                          and timeline, pictures of reference ticks against the native
#                          program's (the second show's page against the second
#                          show built natively, with the page's archive), a missing
#                          and a damaged archive; a phone's touch
#                          screen in Chromium, a soak of random keys in Firefox.
#                          The browsers run at once (ZARNOTH_WEB_SERIAL=1: one after the
#                          other); their outputs are printed when all are done.
#                          ZARNOTH_WEB_BROWSERS and ZARNOTH_WEB_CASES pick fewer (a
#                          space-separated list of browsers; web_test.py's --cases)
# The archive and the native shots come from the Linux build (build/bin/quorvel.pak and
# build/bin/zarnoth, scripts/setup.sh). Exits non-zero on the first failure.
set -euo pipefail

mode="${1:-}"
if [[ "$mode" != build && "$mode" != serve && "$mode" != test ]]; then
    echo "usage: scripts/web.sh build|serve [PORT]|test" >&2
    exit 2
fi
shift

cd "$(dirname "$0")/.."
root="$PWD"
jobs="$(nproc 2>/dev/null || echo 2)"
out="$root/build-web"
deps="$out/deps"
prefix="$deps/prefix"
site="$out/site"
# Optimised builds need the JavaScript modules of Debian's node packages.
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"

# Emscripten's CMake answers its type-size checks wrongly (wasm32: 4 bytes).
jpeg_args=(-DWITH_SIMD=OFF -DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=TRUE -DUNSIGNED_LONG=4)
png_args=(-DPNG_HARDWARE_OPTIMIZATIONS=OFF)
dep_cmake() {
    local name="$1" src="$2"
    shift 2
    emcmake cmake -S "$src" -B "$deps/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$deps/$name-configure.log" 2>&1 ||
        { cat "$deps/$name-configure.log" >&2; return 1; }
}
# shellcheck source=scripts/deps.sh
source "$root/scripts/deps.sh"

# zlib's CMake project wants its Windows resource file for any target without shared
# libraries; its own configure script makes the static library for Emscripten.
build_zlib() {
    local src
    src="$(fetch_source zlib)"
    rm -rf "$deps/build-zlib"
    cp -a "$src" "$deps/build-zlib"
    (cd "$deps/build-zlib" && emconfigure ./configure --static --prefix="$prefix" &&
        emmake make -j "$jobs" libz.a) >"$deps/zlib-build.log" 2>&1 || { cat "$deps/zlib-build.log" >&2; return 1; }
    install -D -m 644 "$deps/build-zlib/libz.a" "$prefix/lib/libz.a"
    install -D -m 644 -t "$prefix/include" "$deps/build-zlib/zlib.h" "$deps/build-zlib/zconf.h"
}

install_packages() {
    need_update=0
    ensure_deb_src
    install_package_list scripts/packages-web.txt
}

web_build() {
    step "configure build-web"
    mkdir -p "$out"
    local first=()
    if [[ ! -f "$out/CMakeCache.txt" ]]; then
        first=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DZARNOTH_WEB_DEPS="$prefix")
    fi
    emcmake cmake -S . -B "$out" "${first[@]}" >"$out/configure.log" 2>&1 || { cat "$out/configure.log"; exit 1; }
    step "build zarnoth for the web"
    cmake --build "$out" -j "$jobs" --target zarnoth
    step "assemble build-web/site"
    if [[ ! -f build/bin/quorvel.pak ]]; then
        echo "build/bin/quorvel.pak is missing: build for Linux first (scripts/setup.sh)" >&2
        exit 1
    fi
    mkdir -p "$site"
    cp "$out/bin/index.html" "$out/bin/zarnoth_page.js" "$out/bin/zarnoth.js" "$out/bin/zarnoth.wasm" \
        "$out/bin/kvl_ring_player.js" "$site/"
    cp build/bin/quorvel.pak "$site/quorvel.pak"
    step_done
    local f
    for f in zarnoth.wasm zarnoth.js kvl_ring_player.js zarnoth_page.js index.html quorvel.pak; do
        printf '%-16s %9d bytes\n' "$f" "$(stat -c %s "$site/$f")"
    done
    # The second show (examples/your_own_show) from the same tree: its page, with an
    # archive of its files taken from the demo's.
    step "build the second show's page (build-web/pages/your_own_show)"
    cmake --build "$out" -j "$jobs" --target your_own_show
    local files="$out/pages/your_own_show.files"
    rm -rf "$files" && mkdir -p "$files"
    local member
    for member in 'tex\prt.jpg:picture.jpg' 'md2\ddz\m.md2:model.md2' 'md2\ddz\ddz.pcx:skin.pcx' 'snd\qv.mp3:music.mp3'; do
        build/bin/kvl pak extract build/bin/quorvel.pak "${member%%:*}" "$files/${member#*:}" >/dev/null
    done
    rm -f "$out/pages/your_own_show/your_own_show.pak"
    build/bin/kvl pak create "$out/pages/your_own_show/your_own_show.pak" "$files" >/dev/null
    step_done
}

serve() {
    local port="${1:-8080}"
    echo "Serving $site on http://127.0.0.1:$port/"
    cd "$site"
    exec /usr/bin/python3 -m http.server "$port" --bind 127.0.0.1
}

if [[ "$mode" == serve ]]; then
    if [[ ! -f "$site/index.html" ]]; then
        echo "build-web/site is missing: run scripts/web.sh build first" >&2
        exit 1
    fi
    serve "$@"
fi

if [[ "$mode" == test ]]; then
    step "JavaScript lint (ESLint)"
    bash scripts/lint_js.sh
fi
step "install packages"
install_packages
build_deps wasm
web_build

if [[ "$mode" == build ]]; then
    exit 0
fi

if [[ ! -x build/bin/zarnoth ]]; then
    echo "build/bin/zarnoth is missing: build for Linux first (scripts/setup.sh)" >&2
    exit 1
fi
# The second show natively, for its page's pictures: examples/your_own_show from the
# tree, built against the engine installed from build/ into a prefix of the test's own
# (as any show of its own is built), with the page's archive beside it under the name
# the native show looks for (it reads a PAK file there as well as a folder).
second_native="$out/test/second-native"
step "build the second show natively ($second_native)"
rm -rf "$second_native/prefix"
mkdir -p "$second_native"
cmake --install build --component dev --prefix "$second_native/prefix" >"$second_native/install.log" ||
    { cat "$second_native/install.log"; exit 1; }
{ cmake -S examples/your_own_show -B "$second_native/build" -G Ninja -DCMAKE_PREFIX_PATH="$second_native/prefix" &&
    cmake --build "$second_native/build" -j "$jobs"; } >"$second_native/build.log" 2>&1 ||
    { cat "$second_native/build.log"; exit 1; }
ln -sfn "$out/pages/your_own_show/your_own_show.pak" "$second_native/build/your_own_show_data"
step_done
# Firefox and WebKitGTK make WebGL only on an X display (Chromium needs none): one
# private Xvfb.
# shellcheck source=scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
mkdir -p "$out/test"
start_xvfb "$out/test" 1024x768x24
# Firefox and WebKitGTK play Web Audio only to a sound device (headless Chromium has a
# fake one of its own): a private PulseAudio whose null sink plays in real time, for them.
pulse_pid=""
stop_servers() {
    if [[ -n "$pulse_pid" ]]; then
        kill "$pulse_pid" 2>/dev/null || true
        wait "$pulse_pid" 2>/dev/null || true
    fi
    stop_xvfb
}
trap stop_servers EXIT
pulse="$out/test/pulse"
rm -rf "$pulse"
mkdir -p "$pulse"
# A daemon of its own also as root (not the system-wide one), without a session bus.
env -u DISPLAY HOME="$pulse" DBUS_SESSION_BUS_ADDRESS=disabled: PULSE_RUNTIME_PATH="$pulse" PULSE_STATE_PATH="$pulse" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    --load="module-native-protocol-unix socket=$pulse/native auth-anonymous=1" \
    --load="module-null-sink sink_name=zarnoth_web" >"$pulse/pulseaudio.log" 2>&1 &
pulse_pid=$!
for _ in $(seq 100); do
    [[ -S "$pulse/native" ]] && break
    sleep 0.1
done
if [[ ! -S "$pulse/native" ]]; then
    echo "PulseAudio did not start:" >&2
    cat "$pulse/pulseaudio.log" >&2
    exit 1
fi
export ZARNOTH_WEB_PULSE_SERVER="unix:$pulse/native"

read -r -a browsers <<<"${ZARNOTH_WEB_BROWSERS:-chromium firefox webkit}"
cases=()
if [[ -n "${ZARNOTH_WEB_CASES:-}" ]]; then
    cases=(--cases "$ZARNOTH_WEB_CASES")
fi
run_browser() {
    /usr/bin/python3 tests/web/web_test.py --browser "$1" --site "$site" --native build/bin/zarnoth \
        --reference tests/app/reference --work "$out/test/$1" --slots "$out/test/slots" \
        --second-site "$out/pages/your_own_show" --second-native "$second_native/build/your_own_show" "${cases[@]}"
}
if [[ "${ZARNOTH_WEB_SERIAL:-0}" == 1 ]]; then
    for b in "${browsers[@]}"; do
        step "browser tests: $b"
        run_browser "$b"
        step_done
    done
else
    # The browsers at once (each its own driver, ports, profile and work folder), so
    # the stage takes about one browser's time; each one's output follows when all are done.
    step "browser tests: ${browsers[*]} at once"
    pids=()
    for b in "${browsers[@]}"; do
        run_browser "$b" >"$out/test/$b.out" 2>&1 &
        pids+=($!)
    done
    failed=()
    for i in "${!browsers[@]}"; do
        wait "${pids[$i]}" || failed+=("${browsers[$i]}")
    done
    for b in "${browsers[@]}"; do
        sed "s/^/[$b] /" "$out/test/$b.out"
    done
    step_done
    if (( ${#failed[@]} )); then
        echo "Web tests failed in: ${failed[*]}" >&2
        exit 1
    fi
fi
echo "Web tests passed."
