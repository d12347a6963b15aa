#!/usr/bin/env bash
# Runs the sweeps (CTest label "sweep") in build/ with the full allocation sweep of add device:
# every allocation of the bring-up fails in turn, where scripts/test.sh fails a subset.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/configure-build.sh
cmake --build build -j"$(nproc)" --target test_sweep
KZ_SWEEP_FULL=1 ctest --test-dir build --output-on-failure -j"$(nproc)" -L sweep --no-tests=error
