#!/bin/sh
# Fuzzes the frame decoder with libFuzzer and the address sanitizer.
# Usage: scripts/fuzz-decoder.sh [seconds] [extra libFuzzer options...]
# Builds in build-fuzz/ with clang++, starts from the committed seed corpus
# (bench/fuzz/corpus, left untouched) and keeps what it finds in
# build-fuzz/corpus. A failing input is written as build-fuzz/crash-*.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
seconds=${1:-60}
[ $# -gt 0 ] && shift

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz-decoder: clang++ is not installed; the seed corpus is still replayed by ctest (tst_decodercorpus)." >&2
    exit 0
fi

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTERVALO_FUZZ=ON -DTERVALO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_decoder -j2

mkdir -p "$build/corpus"
cd "$build"
exec ./bench/fuzz/fuzz_decoder -max_total_time="$seconds" -artifact_prefix="$build/" "$@" \
     "$build/corpus" "$root/bench/fuzz/corpus"
