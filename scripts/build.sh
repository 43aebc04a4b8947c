#!/usr/bin/env bash
# Configures build/ once (Release) and builds the targets named, or everything
# (program, simulator, tests, benchmarks) when none is named.
#   scripts/build.sh [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# A configured tree re-runs its own configure step when a CMakeLists changes.
if [ ! -f "$root/build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$root/build" -j"$(nproc)" "${targets[@]}"
