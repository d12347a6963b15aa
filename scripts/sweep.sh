#!/usr/bin/env bash
# Runs the sweeps (CTest label "sweep") in the sanitizer build, with the full allocation sweep of
# add device: every allocation of the bring-up fails in turn, where CI fails a subset.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DKZ_SANITIZE=ON \
    -DKZ_WARNINGS_AS_ERRORS=ON
cmake --build build -j"$jobs" --target test_sweep
KZ_SWEEP_FULL=1 ctest --test-dir build --output-on-failure -j"$jobs" -L sweep --no-tests=error
