#!/usr/bin/env bash
# Configures build/, where the tests and the fuzz targets run: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer, the driver instrumented for libFuzzer too (so scripts/fuzz.sh,
# scripts/test.sh and scripts/sweep.sh share one build), the driver, the stand-in and the board
# optimised for the fuzzers' throughput (the test sources without optimisation:
# tests/CMakeLists.txt), line tables only for the sanitizers' stack traces, warnings as errors. A
# build/ configured with another compiler is configured afresh.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-gline-tables-only -O2" -DKZ_SANITIZE=ON -DKZ_FUZZ=ON -DKZ_WARNINGS_AS_ERRORS=ON >/dev/null
