#!/usr/bin/env bash
# Sets up, builds and runs every test; then the engine's tests again under AddressSanitizer and
# UBSan (build-asan/), and a short run of each fuzz target (build-fuzz/, about 40 s in all).
# FUZZ_SECONDS sets the time per fuzz target (0 skips fuzzing).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
(cd build && QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} ctest --output-on-failure -j"$(nproc)")
scripts/sanitize.sh
seconds=${FUZZ_SECONDS:-10}
if [ "$seconds" -gt 0 ]; then
    scripts/fuzz.sh "$seconds"
fi
