#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UBSan) into build-fuzz/ and runs
# each for SECONDS seconds (default 10), starting from the fixture tables and indexes and from
# whatever earlier runs added to build-fuzz/corpus-*/. A finding stops with a non-zero status
# and leaves the input that caused it as build-fuzz/crash-* (or leak-*, timeout-*).
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   targets: fuzz_table fuzz_memo fuzz_index fuzz_ini
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_table fuzz_memo fuzz_index fuzz_ini)

build=build-fuzz
cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

for target in "${targets[@]}"; do
    corpus=$build/corpus-$target
    mkdir -p "$corpus"
    case $target in
    fuzz_table) cp -n tests/data/foreign-mdx/*.DBF "$corpus"/ 2>/dev/null || true ;;
    fuzz_index) cp -n tests/data/foreign-mdx/*.MDX "$corpus"/ 2>/dev/null || true ;;
    fuzz_memo) [ -n "$(ls -A "$corpus")" ] ||
                   printf '\x02\x01\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x40' >"$corpus/seed.fpt" ;;
    fuzz_ini) find tests/data -iname '*.ini' -exec cp -n {} "$corpus"/ \; 2>/dev/null || true
              [ -n "$(ls -A "$corpus")" ] || printf '[Sort Order]\r\nPrimary Sort=12\r\n' >"$corpus/seed.ini" ;;
    esac
    echo "== $target for $seconds s"
    (cd "$build" && ASAN_OPTIONS=detect_leaks=1 \
        "./$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
        -max_len=65536 -print_final_stats=1 "corpus-$target")
done
