#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc)
./scripts/configure-build.sh
cmake --build build -j"$jobs"
# The driver compiled as kernel code, and its relocatable object checked, on a build without
# sanitizers.
cmake -S . -B build-plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKZ_SANITIZE=OFF -DKZ_TESTS=OFF \
    -DKZ_WARNINGS_AS_ERRORS=ON
cmake --build build-plain -j"$jobs" --target kzvorn_driver_check
ctest --test-dir build --output-on-failure -j"$jobs"
