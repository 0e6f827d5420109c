#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan on) and
# runs each for SECONDS (default 30), seeded from tests/data.
#   tools/fuzz.sh 600        # ten minutes each
set -euo pipefail
seconds="${1:-30}"
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tools/setup.sh"
orvandel_install_missing clang-14 libclang-rt-14-dev
build="$root/build-fuzz"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANDEL_FUZZ=ON -DORVANDEL_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_book fuzz_save fuzz_monsters fuzz_play fuzz_webpage
status=0
for target in fuzz_book fuzz_save fuzz_monsters fuzz_play fuzz_webpage; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus" "$build/crashes/$target"
    cp -n "$root"/tests/data/* "$corpus/" 2>/dev/null || true
    echo "== $target for ${seconds}s"
    dict=()
    case "$target" in fuzz_book | fuzz_webpage) dict=(-dict="$root/fuzz/xml.dict") ;; esac
    if ! "$build/fuzz/$target" "${dict[@]}" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 \
        -artifact_prefix="$build/crashes/$target/" -print_final_stats=1 "$corpus" \
        2>"$build/$target.log"; then
        status=1
        tail -40 "$build/$target.log"
    fi
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb|Done" "$build/$target.log" || true
done
exit $status
