#!/usr/bin/env bash
# Configures build/, where the tests run: AddressSanitizer and UndefinedBehaviorSanitizer, warnings
# as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DKZ_SANITIZE=ON \
    -DKZ_WARNINGS_AS_ERRORS=ON
