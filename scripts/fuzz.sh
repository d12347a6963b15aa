#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer) in
# build-fuzz/ and runs each in turn for its share of KZ_FUZZ_SECONDS (60 by default, split
# evenly); any finding fails the run and leaves its input in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
targets=(ioctl sessions)
# The sessions target's inputs are sequences of operations: long ones from the start.
declare -A options=([ioctl]="" [sessions]="-len_control=0 -max_len=1024")
seconds=${KZ_FUZZ_SECONDS:-60}
share=$(( seconds / ${#targets[@]} ))
[ "$share" -ge 1 ] || share=1
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKZ_SANITIZE=ON -DKZ_TESTS=OFF -DKZ_FUZZ=ON -DKZ_WARNINGS_AS_ERRORS=ON
cmake --build build-fuzz -j"$(nproc)" --target $(printf 'kzvorn-%s-fuzz ' "${targets[@]}") kzvorn-fuzz-seeds
mkdir -p build-fuzz/findings
for target in "${targets[@]}"; do
    mkdir -p "build-fuzz/corpus/$target"
    # Seeds with live streams, which random bytes rarely find.
    ./build-fuzz/tools/ioctl-fuzz/kzvorn-fuzz-seeds "$target" "build-fuzz/corpus/$target"
    # The fuzzer's progress lines go to a log; its closing lines (or a finding) are shown.
    log=build-fuzz/$target-fuzz.log
    echo "== kzvorn-$target-fuzz, $share s"
    if ./build-fuzz/tools/ioctl-fuzz/kzvorn-$target-fuzz -max_total_time="$share" -print_final_stats=1 \
        ${options[$target]} -artifact_prefix=build-fuzz/findings/ "build-fuzz/corpus/$target" >"$log" 2>&1; then
        tail -n 12 "$log"
    else
        tail -n 80 "$log"
        exit 1
    fi
done
