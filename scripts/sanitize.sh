#!/usr/bin/env bash
# Builds the engine, its tests and the command-line tool with AddressSanitizer and UBSan into
# build-asan/ and runs the engine tests there. Any memory error or undefined behaviour fails.
# Usage: scripts/sanitize.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-asan
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTW_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build" -j"$(nproc)" --target engine_tests tallywick-dbf
cd "$build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest -L engine --output-on-failure -j"$(nproc)"
