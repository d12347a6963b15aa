#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/phase.sh
./scripts/install-deps.sh
jobs=$(nproc)
build() {
    ./scripts/configure-build.sh
    cmake --build build -j"$jobs"
}
phase test.build build
# The driver compiled as kernel code, and its relocatable object checked, on a build without
# sanitizers (the one scripts/bench.sh and scripts/kzvorn-sim.sh use).
kernel() {
    ./scripts/configure-plain.sh
    cmake --build build-plain -j"$jobs" --target kzvorn_driver_check
}
phase test.kernel kernel
# Kept in build/ctest.log too, so that .ci/run can close its output with the summary.
phase test.run ctest --test-dir build --output-on-failure -j"$jobs" 2>&1 | tee build/ctest.log
