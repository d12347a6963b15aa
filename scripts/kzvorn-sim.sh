#!/usr/bin/env bash
# Builds kzvorn-sim when needed (no sanitizers, no tests) and runs it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
# Configured once; later builds re-run CMake themselves when a list file changes.
if [ ! -f build-plain/build.ninja ]; then
    ./scripts/install-deps.sh >&2
    ./scripts/configure-plain.sh
fi
# Quiet when it builds; a failed build is shown.
out=$(cmake --build build-plain -j"$(nproc)" --target kzvorn-sim 2>&1) || { printf '%s\n' "$out" >&2; exit 1; }
exec build-plain/tools/kzvorn-sim/kzvorn-sim "$@"
