#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer) in
# build-fuzz/ and runs each for a bounded time; any finding fails the run and leaves its input
# in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
seconds=${KZ_FUZZ_SECONDS:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKZ_SANITIZE=ON -DKZ_TESTS=OFF -DKZ_FUZZ=ON -DKZ_WARNINGS_AS_ERRORS=ON
cmake --build build-fuzz -j"$(nproc)" --target kzvorn-ioctl-fuzz
mkdir -p build-fuzz/corpus/ioctl build-fuzz/findings
# The fuzzer's progress lines go to a log; its closing lines (or a finding) are shown.
log=build-fuzz/ioctl-fuzz.log
if ./build-fuzz/tools/ioctl-fuzz/kzvorn-ioctl-fuzz -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/ build-fuzz/corpus/ioctl >"$log" 2>&1; then
    tail -n 12 "$log"
else
    tail -n 80 "$log"
    exit 1
fi
