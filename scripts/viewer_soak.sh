#!/usr/bin/env bash
# The viewer's soak run long: random keys (pause, seek back and forth, chapters, Home)
# and runs started at a tick, in a window on a private Xvfb, each step checked against
# the show's own account (tests/soak/viewer_soak_test.cpp). Prints the seed, the counts
# of each operation and of faults.
#
#   scripts/viewer_soak.sh [SECONDS [SEED]]   (default 600 s and a new seed)
#   BUILD=build-asan scripts/viewer_soak.sh   (another build folder; default build)
# Exits non-zero when a step failed; rerun with the printed seed to repeat it.
set -euo pipefail

cd "$(dirname "$0")/.."
seconds="${1:-600}"
build="${BUILD:-build}"
if [[ ! -x "$build/bin/test_soak" ]]; then
    echo "viewer_soak: $build/bin/test_soak is missing; build it first (cmake --build $build --target test_soak)" >&2
    exit 1
fi
export ZARNOTH_SOAK_SECONDS="$seconds"
if [[ -n "${2:-}" ]]; then
    export ZARNOTH_SOAK_SEED="$2"
fi
SDL_AUDIODRIVER=disk "$build/bin/test_soak" --gtest_filter='ViewerSoak.*'
