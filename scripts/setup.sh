#!/usr/bin/env bash
# Sets up a fresh Debian machine for ZARNOTH 3D and builds it.
#   scripts/setup.sh demo   install what is missing, build, run the demo
#   scripts/setup.sh test   install what is missing, build, run every test:
#                           the unit tests, then a clang build with AddressSanitizer
#                           and UndefinedBehaviorSanitizer that runs the unit tests
#                           again and replays every fuzz target's seed corpus
# Exits non-zero on the first failure.
set -euo pipefail

mode="${1:-}"
if [[ "$mode" != demo && "$mode" != test ]]; then
    echo "usage: scripts/setup.sh demo|test" >&2
    exit 2
fi

cd "$(dirname "$0")/.."
jobs="$(nproc 2>/dev/null || echo 2)"

install_packages() {
    local wanted=() missing=() pkg
    mapfile -t wanted < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' scripts/packages.txt | grep -v '^$')
    for pkg in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return
    fi
    local sudo=()
    if [[ "$(id -u)" != 0 ]]; then
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
    local dir="$1"
    shift
    cmake -S . -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$jobs"
}

install_packages
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [[ "$mode" == demo ]]; then
    if [[ -x build/bin/zarnoth ]]; then
        exec build/bin/zarnoth
    fi
    echo "Built. The demo program is not part of the build yet; 'build/bin/kvl --help' shows the tool."
    exit 0
fi

ctest --test-dir build --output-on-failure -j "$jobs"

CC=clang CXX=clang++ build build-asan -DCMAKE_BUILD_TYPE=Debug -DZARNOTH_SANITIZE=ON -DZARNOTH_FUZZ=ON \
    -DZARNOTH_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
echo "All tests passed."
