#!/usr/bin/env bash
# The driver reaches the outside world only through the kernel layer, LZ4's safe decompression
# and the memory primitives the compiler may emit. Anything else undefined is a build error.
set -euo pipefail
object=${1:?usage: check-driver-symbols.sh kzvorn_driver.o}
allowed='^(nKZKAL[0-9]+_[A-Za-z0-9_]+|LZ4_decompress_safe|memcpy|memset|memmove|memcmp)$'
bad=$(nm -u "$object" | awk '{print $NF}' | grep -Ev "$allowed" || true)
if [ -n "$bad" ]; then
    echo "kzvorn_driver.o has undefined symbols outside the kernel layer:" >&2
    echo "$bad" | sed 's/^/  /' >&2
    exit 1
fi
count=$(nm -u "$object" | wc -l)
echo "kzvorn_driver.o: $count undefined symbols, all allowed"
