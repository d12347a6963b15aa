#!/usr/bin/env bash
# The driver reaches the outside world only through the kernel layer, LZ4's safe decompression,
# the memory primitives the compiler may emit and the kernel's thunks for indirect branches and
# returns (retpolines and return thunks). Anything else undefined is a build error (a float, for
# one, shows up as a soft-float helper). Kernel code is not position independent, so no reference
# may go through a global offset table; and the module loader runs no static constructors.
set -euo pipefail
object=${1:?usage: check-driver-symbols.sh kzvorn_driver.o}
allowed='^(nKZKAL[0-9]+_[A-Za-z0-9_]+|LZ4_decompress_safe|memcpy|memset|memmove|memcmp|__x86_indirect_thunk_[a-z0-9]+|__x86_return_thunk)$'
bad=$(nm -u "$object" | awk '{print $NF}' | grep -Ev "$allowed" || true)
if [ -n "$bad" ]; then
    echo "kzvorn_driver.o has undefined symbols outside the kernel layer:" >&2
    echo "$bad" | sed 's/^/  /' >&2
    exit 1
fi
got=$(readelf -rW "$object" | awk '$3 ~ /^R_X86_64_.*GOT/ {print $3, $5}' | sort -u || true)
if [ -n "$got" ]; then
    echo "kzvorn_driver.o has position-independent references (through the GOT):" >&2
    echo "$got" | sed 's/^/  /' >&2
    exit 1
fi
constructors=$(readelf -SW "$object" | sed -n 's/^ *\[ *[0-9]*\] \([^ ]*\) .*/\1/p' |
    grep -E '^\.(init_array|preinit_array|ctors)(\.|$)' | sort -u || true)
if [ -n "$constructors" ]; then
    echo "kzvorn_driver.o has static constructor sections:" >&2
    echo "$constructors" | sed 's/^/  /' >&2
    exit 1
fi
count=$(nm -u "$object" | wc -l)
echo "kzvorn_driver.o: $count undefined symbols, all allowed, no GOT references, no static constructors"
