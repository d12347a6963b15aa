#!/usr/bin/env bash
# Builds the test programs and kzvorn-sim with ThreadSanitizer (GoogleTest too) in build-tsan/
# and runs every test program but the sweeps (label "sweep"), and kzvorn-sim's runs but a few
# (label "sim": they run under AddressSanitizer in scripts/test.sh); any ThreadSanitizer report
# fails the run. Arguments go to ctest (e.g. -L threaded for the tests that run threads of their
# own, -R NAME).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/phase.sh
./scripts/install-deps.sh
jobs=$(nproc)
build() {
    # GCC: clang's runtime links its own operator new and delete statically, beside the driver's.
    # Line tables only, for the reports' stack traces.
    cmake -S . -B build-tsan -G Ninja -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DKZ_SANITIZE=OFF -DKZ_THREAD_SANITIZER=ON -DKZ_WARNINGS_AS_ERRORS=ON >/dev/null
    cmake --build build-tsan -j"$jobs" --target test-programs
}
phase tsan.build build
# The first report ends its test program with exit code 66, which fails the test.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
phase tsan.run ctest --test-dir build-tsan --output-on-failure -j"$jobs" -LE "sweep|sim" --no-tests=error "$@"
