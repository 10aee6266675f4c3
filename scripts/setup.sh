#!/usr/bin/env bash
# Sets up a fresh Debian machine for ZARNOTH 3D and builds it.
#   scripts/setup.sh demo   install what is missing, build, run the demo
#   scripts/setup.sh test   install what is missing, build, run every test:
#                           the unit tests, the Debian package (installed, run and
#                           removed again), the engine's examples against a fresh
#                           install prefix and the development package, then a
#                           clang build with AddressSanitizer and
#                           UndefinedBehaviorSanitizer that runs the unit tests
#                           again and replays every fuzz target's seed corpus, and a
#                           ThreadSanitizer build of the sound tests (output ring,
#                           streamers, player, capture: the code that runs on the
#                           player's worker and the audio device's thread) and of
#                           the whole show; then the 32-bit Windows cross build,
#                           its unit tests and the whole demo under Wine
#                           (scripts/windows.sh); then ESLint over the JavaScript,
#                           the web build and its page in headless Chromium,
#                           Firefox and WebKitGTK (scripts/web.sh)
# Exits non-zero on the first failure.
set -euo pipefail

mode="${1:-}"
if [[ "$mode" != demo && "$mode" != test ]]; then
    echo "usage: scripts/setup.sh demo|test" >&2
    exit 2
fi

cd "$(dirname "$0")/.."
jobs="$(nproc 2>/dev/null || echo 2)"

# Installing a package list (and sudo when not root) is shared with the cross builds.
# shellcheck source=scripts/deps.sh
source scripts/deps.sh
need_update=0
install_packages() {
    install_package_list scripts/packages.txt
}

# Real Quake III models for the MD3 reader tests: only pak0.pk3 of Debian's
# openarena-data (44 MB), taken from the package file without installing the game and
# the 300 MB it depends on. The test skips with a message when this is unavailable.
fetch_test_data() {
    local dest=build-testdata/openarena
    if [[ -f /usr/share/games/openarena/baseoa/pak0.pk3 || -f "$dest/pak0.pk3" ]]; then
        return
    fi
    mkdir -p "$dest"
    local deb
    if ! (cd "$dest" && apt-get download -q openarena-data >/dev/null 2>&1); then
        echo "note: could not download openarena-data; the MD3 real-model test will skip" >&2
        return
    fi
    deb="$(ls "$dest"/openarena-data_*.deb | head -n 1)"
    dpkg-deb --fsys-tarfile "$deb" | tar -x -O ./usr/share/games/openarena/baseoa/pak0.pk3 >"$dest/pak0.pk3.part" &&
        mv "$dest/pak0.pk3.part" "$dest/pak0.pk3"
    rm -f "$deb" "$dest/pak0.pk3.part"
}

build() {
    local dir="$1"
    shift
    cmake -S . -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$jobs"
}

# Runs one stage of the test command and prints its time when it ends.
stage() {
    local name="$1" start=$SECONDS
    shift
    echo "=== $name"
    "$@"
    local took=$((SECONDS - start))
    printf '=== %s: %d min %02d s\n' "$name" $((took / 60)) $((took % 60))
    stage_times+=("$(printf '%-34s %3d min %02d s' "$name" $((took / 60)) $((took % 60)))")
}
stage_times=()

build_and_test() {
    fetch_test_data
    ctest --test-dir build --output-on-failure -j "$jobs"
}

sanitizer_stage() {
    CC=clang CXX=clang++ build build-asan -DCMAKE_BUILD_TYPE=Debug -DZARNOTH_SANITIZE=ON -DZARNOTH_FUZZ=ON \
        -DZARNOTH_BENCH=OFF
    ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build-asan --output-on-failure -j "$jobs"
}

# Only the sound program and the demo are built with ThreadSanitizer, and only the
# tests of the threaded sound code run, so this stage stays short.
thread_sanitizer_stage() {
    CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARNOTH_BENCH=OFF \
        -DZARNOTH_BUILD_PAK=OFF -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
        -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
    cmake --build build-tsan -j "$jobs" --target test_sound
    SDL_AUDIODRIVER=disk TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/bin/test_sound \
        --gtest_filter='SoundOutputRing.*:SoundOutputSDL.*:SoundStreamerCapture.*:SoundStreamerMP3.*:MP3Player.*:SoundPlayer.*:Capture.*'
    # The whole show under ThreadSanitizer (the program built in build-tsan, the archive
    # taken from the normal build).
    bash scripts/tsan_show.sh
}

engine_package_stage() {
    # The installed headers' declarations against their record (docs/public_interface.txt).
    bash scripts/api_check.sh
    bash scripts/engine_package_test.sh prefix
    bash scripts/engine_package_test.sh deb
    # A show of its own (examples/your_own_show) against the installed show runtime.
    bash scripts/show_package_test.sh
}

stage "packages" install_packages
# The packages made from this build install under /usr.
stage "build" build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr

if [[ "$mode" == demo ]]; then
    if [[ -x build/bin/zarnoth ]]; then
        exec build/bin/zarnoth
    fi
    echo "build/bin/zarnoth was not built" >&2
    exit 1
fi

stage "tests" build_and_test
# The Debian package: lintian, then installed with dpkg, run from another folder, its
# manual pages rendered, and removed again (scripts/deb_test.sh).
stage "Debian package" bash scripts/deb_test.sh
# The engine as another project uses it: the three examples built and run against the
# engine installed into a fresh prefix, then against the development package installed
# with dpkg (and removed again); the API reference built without a warning.
stage "Engine package (examples)" engine_package_stage
stage "AddressSanitizer/UBSan + fuzz seeds" sanitizer_stage
stage "ThreadSanitizer" thread_sanitizer_stage
# The Windows build: MinGW-w64 cross build of the engine, zarnoth.exe, kvl.exe and the
# portable test programs, then those tests and the whole demo under Wine (the demo takes
# build/bin/quorvel.pak from the Linux build above).
stage "Windows (MinGW-w64, Wine)" bash scripts/windows.sh test
# The web build: ESLint over the JavaScript, zlib, libpng and libjpeg-turbo for wasm, the
# program and its page, then the page in headless Chromium, Firefox and WebKitGTK from a
# plain static server (scripts/web.sh).
stage "Web (ESLint, Emscripten, Chromium, Firefox and WebKitGTK)" bash scripts/web.sh test
# Every outside program the tests and scripts call comes from a listed package (run
# last, when every list has been installed).
stage "tool check" bash scripts/check_tools.sh
echo "Stage times:"
printf '  %s\n' "${stage_times[@]}"
echo "All tests passed in $((SECONDS / 60)) min $((SECONDS % 60)) s."
