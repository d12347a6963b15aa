#!/usr/bin/env bash
# Builds the fuzz targets in build/ (clang, AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer;
# the build scripts/test.sh runs the tests in) and runs each in turn for its share of
# KZ_FUZZ_SECONDS (60 by default, split evenly), then prints its inputs per second; any finding
# fails the run and leaves its input in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/phase.sh
./scripts/install-deps.sh
targets=(ioctl sessions)
# The longest input each target takes. The sessions target's inputs are sequences of operations,
# long ones from the start; its seeds must fit whole, or their last operations are cut off.
declare -A max_len=([ioctl]=4096 [sessions]=4096)
declare -A options=([ioctl]="" [sessions]="-len_control=0")
seconds=${KZ_FUZZ_SECONDS:-60}
share=$(( seconds / ${#targets[@]} ))
[ "$share" -ge 1 ] || share=1
build() {
    ./scripts/configure-build.sh
    cmake --build build -j"$(nproc)" --target $(printf 'kzvorn-%s-fuzz ' "${targets[@]}") kzvorn-fuzz-seeds
}
phase fuzz.build build
mkdir -p build/fuzz/findings
for target in "${targets[@]}"; do
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    # Seeds with live streams, which random bytes rarely find.
    ./build/tools/ioctl-fuzz/kzvorn-fuzz-seeds "$target" "$corpus"
    longest=$(find "$corpus" -type f -printf '%s\n' | sort -n | tail -n 1)
    if [ "${longest:-0}" -gt "${max_len[$target]}" ]; then
        echo "kzvorn-$target-fuzz: an input of $longest bytes in $corpus, past the limit of ${max_len[$target]}" >&2
        exit 1
    fi
    # The fuzzer's progress lines go to a log; its closing lines (or a finding) are shown.
    log=build/fuzz/$target-fuzz.log
    echo "== kzvorn-$target-fuzz, $share s"
    if ! phase "fuzz.$target" ./build/tools/ioctl-fuzz/kzvorn-$target-fuzz -max_total_time="$share" -print_final_stats=1 \
        -max_len="${max_len[$target]}" ${options[$target]} -artifact_prefix=build/fuzz/findings/ "$corpus" >"$log" 2>&1; then
        tail -n 80 "$log"
        exit 1
    fi
    tail -n 12 "$log"
    # From libFuzzer's closing "Done N runs in S second(s)"; its own exec/s figure is rounded down.
    awk -v target="kzvorn-$target-fuzz" '/^Done [0-9]+ runs in [0-9]+ second/ {
        printf "%s: %.1f inputs/s (%d inputs in %d s)\n", target, $2 / ($5 > 0 ? $5 : 1), $2, $5
    }' "$log"
done
