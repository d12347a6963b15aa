#!/usr/bin/env bash
# Builds kzvorn-sim when needed (no sanitizers, no tests) and runs it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
# Configured once; later builds re-run CMake themselves when a list file changes.
if [ ! -f build-plain/build.ninja ]; then
    ./scripts/install-deps.sh >&2
    cmake -S . -B build-plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKZ_SANITIZE=OFF -DKZ_TESTS=OFF >/dev/null
fi
cmake --build build-plain -j"$(nproc)" --target kzvorn-sim >/dev/null
exec build-plain/tools/kzvorn-sim/kzvorn-sim "$@"
