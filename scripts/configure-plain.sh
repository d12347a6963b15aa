#!/usr/bin/env bash
# Configures build-plain/, the build without sanitizers or tests (the compiler CMake finds, GCC on
# Debian; optimised, warnings as errors): the kernel object and its checks, the benchmarks when
# they are measured, and kzvorn-sim. Configuring it again is cheap, and makes the kernel object
# follow a kernel build tree installed since.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKZ_SANITIZE=OFF -DKZ_TESTS=OFF \
    -DKZ_WARNINGS_AS_ERRORS=ON >/dev/null
