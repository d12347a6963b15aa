#!/usr/bin/env bash
# Builds the benchmark programs in build-plain/ (optimised, no sanitizers) and runs each once; each
# prints its medians, its reference's and its goal lines. --brief runs every benchmark for a few
# iterations only (figures not meaningful: for CI). --callgrind then counts the measured loops'
# instructions by source folder (tools/bench/callgrind.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
brief=() callgrind=0
for arg in "$@"; do
    case $arg in
        --brief) brief=(--benchmark_min_time=0.0001) ;;
        --callgrind) callgrind=1 ;;
        *) echo "usage: $0 [--brief] [--callgrind]" >&2; exit 2 ;;
    esac
done
./scripts/install-deps.sh
cmake -S . -B build-plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKZ_SANITIZE=OFF -DKZ_TESTS=OFF \
    -DKZ_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build-plain -j"$(nproc)" --target benchmarks
for program in crc-bench routing-bench request-bench download-bench; do
    echo "== $program"
    "build-plain/tools/bench/$program" "${brief[@]}"
done
if [ "$callgrind" = 1 ]; then
    echo "== callgrind"
    tools/bench/callgrind.sh build-plain
fi
