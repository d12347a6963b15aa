#!/usr/bin/env bash
# Builds the benchmark programs in build-plain/ (optimised, no sanitizers) and runs each once; each
# prints its medians, its ratios to its reference (interleaved repetition by repetition) and its
# goal lines. --brief runs every benchmark for a few short repetitions only, built in build/ with
# the sanitizers (figures not meaningful: for CI, which has that build already). --callgrind then
# counts the measured loops' instructions by source folder and kzvorn-sim's whole run
# (tools/bench/callgrind.sh). The run closes with every goal line again, met or missed; a
# benchmark whose measured call failed prints an error instead of its figure and makes the script
# fail once all have run.
set -euo pipefail
cd "$(dirname "$0")/.."
brief=() callgrind=0
for arg in "$@"; do
    case $arg in
        --brief) brief=(--brief) ;;
        --callgrind) callgrind=1 ;;
        *) echo "usage: $0 [--brief] [--callgrind]" >&2; exit 2 ;;
    esac
done
./scripts/install-deps.sh
build=build-plain
if [ "${#brief[@]}" -ne 0 ] && [ "$callgrind" = 0 ]; then
    build=build
    ./scripts/configure-build.sh
else
    ./scripts/configure-plain.sh
fi
targets=(benchmarks)
[ "$callgrind" = 1 ] && targets+=(kzvorn-sim)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
failed=()
for program in crc-bench routing-bench request-bench download-bench dma-bench; do
    echo "== $program"
    "$build/tools/bench/$program" "${brief[@]}" | tee -a "$log" || failed+=("$program")
done
if [ "$callgrind" = 1 ]; then
    echo "== callgrind"
    tools/bench/callgrind.sh "$build" | tee -a "$log" || failed+=(callgrind)
fi
echo "== goals"
grep -E '^(goal|error):' "$log" || true
if [ "${#failed[@]}" -ne 0 ]; then
    echo "failed: ${failed[*]}" >&2
    exit 1
fi
