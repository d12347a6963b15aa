#!/usr/bin/env bash
# Checks kzvorn_driver.o as a distribution kernel takes it: the kernel's objtool with the checks
# its configuration asks for, then a module linked through kbuild and modpost beside a file that
# only declares the licence. Fails on any objtool warning, a failed link, or an undefined symbol
# that is neither a kernel-layer function (nKZKAL..., from the kernel layer's own module) nor
# exported by that kernel (its Module.symvers).
#
# Usage: check-kernel-module.sh [OBJECT]. Without an object, builds build-plain/kzvorn_driver.o.
# The kernel is Debian's linux-headers-amd64, installed when no kernel build tree is.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
object=${1:-}

kdir=$(scripts/kernel-flags.sh --find || true)
if [ -z "$kdir" ]; then
    echo "installing linux-headers-amd64"
    if ! ./scripts/install-deps.sh linux-headers-amd64 make >/tmp/kzvorn-kernel-headers.log 2>&1; then
        tail -n 5 /tmp/kzvorn-kernel-headers.log >&2
        echo "check-kernel-module: no kernel headers package could be installed: kzvorn_driver.o is NOT checked" >&2
        exit 1
    fi
    kdir=$(scripts/kernel-flags.sh --find) || {
        echo "check-kernel-module: linux-headers-amd64 installed no kernel build tree with objtool" >&2
        exit 1
    }
fi

if [ -z "$object" ]; then
    # Configured after the headers are in place, so the object follows that kernel's flags.
    ./scripts/install-deps.sh
    ./scripts/configure-plain.sh
    # Quiet when it builds; a compile error (a double in driver/, say) is shown.
    if ! build_log=$(cmake --build build-plain -j"$(nproc)" --target kzvorn_driver_relocatable 2>&1); then
        printf '%s\n' "$build_log" | grep -E -A3 'error|FAILED' | head -n 40 >&2
        echo "check-kernel-module: kzvorn_driver.o does not build with the kernel's flags" >&2
        exit 1
    fi
    object=build-plain/kzvorn_driver.o
fi

echo "kernel: $(basename "$(dirname "$kdir")"), version $(cat "$kdir/include/config/kernel.release" 2>/dev/null) ($kdir)"
checks=$(scripts/kernel-flags.sh "$kdir" | sed -n 's/^objtool: //p')
# One relocatable object of many, going into a module: checked as kbuild checks a linked one.
checks="$checks --link"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# objtool rewrites the object (unwind tables, call-site lists), as kbuild would before linking.
cp "$object" "$work/kzvorn_driver.o_shipped"
set +e
# shellcheck disable=SC2086
"$kdir/tools/objtool/objtool" $checks "$work/kzvorn_driver.o_shipped" >"$work/objtool.log" 2>&1
objtool_status=$?
set -e
warnings=$(grep -c 'warning: objtool:' "$work/objtool.log" || true)
echo "objtool $checks: $warnings warnings"
if [ "$warnings" -ne 0 ] || [ "$objtool_status" -ne 0 ]; then
    sed "s|$work/kzvorn_driver.o_shipped|kzvorn_driver.o|" "$work/objtool.log" | head -n 20 | sed 's/^/  /'
    [ "$objtool_status" -ne 0 ] && echo "  objtool exited with $objtool_status"
    failed=1
fi

printf '#include <linux/module.h>\nMODULE_LICENSE("Proprietary");\n' >"$work/kzvorn_license.c"
printf 'obj-m := kzvorn.o\nkzvorn-y := kzvorn_license.o kzvorn_driver.o\n' >"$work/Kbuild"
# modpost reads the symbol versions of each object from its command file; a copied object has
# none and exports nothing.
: >"$work/.kzvorn_driver.o.cmd"
# The kernel layer's functions come from its own module, which modpost does not know here.
if make -C "$kdir" M="$work" KBUILD_MODPOST_WARN=1 modules >"$work/kbuild.log" 2>&1 && [ -f "$work/kzvorn.ko" ]; then
    # Unresolved symbols are judged below, all of them (modpost names only the first few).
    others=$(grep -E '(WARNING|ERROR)' "$work/kbuild.log" |
        grep -vE 'modpost: ".*" \[.*\] undefined!|modpost: suppressed [0-9]+ unresolved symbol warnings' || true)
    echo "module: linked (kzvorn.ko)"
    if [ -n "$others" ]; then
        echo "$others" | sed 's/^/  /'
        failed=1
    fi
else
    echo "module: the link FAILED"
    tail -n 20 "$work/kbuild.log" | sed 's/^/  /'
    failed=1
fi

if [ -f "$work/kzvorn.ko" ]; then
    nm -u "$work/kzvorn.ko" | awk '{print $NF}' | sort -u >"$work/undefined"
    awk '{print $2}' "$kdir/Module.symvers" | sort -u >"$work/exported"
    layer=$(grep -E '^nKZKAL[0-9]+_' "$work/undefined" || true)
    exported=$(grep -vE '^nKZKAL[0-9]+_' "$work/undefined" | comm -12 - "$work/exported")
    thunks=$(grep -E '^__x86_(indirect_thunk_|return_thunk)' <<<"$exported" || true)
    plain=$(grep -vE '^__x86_(indirect_thunk_|return_thunk)' <<<"$exported" || true)
    stray=$(grep -vE '^nKZKAL[0-9]+_' "$work/undefined" | comm -23 - "$work/exported")
    count() { [ -z "$1" ] && echo 0 || wc -l <<<"$1"; }
    echo "undefined symbols:"
    echo "  kernel layer (nKZKAL...): $(count "$layer")"
    echo "  exported by the kernel, branch thunks: $(count "$thunks")" $thunks
    echo "  exported by the kernel, other: $(count "$plain")" $plain
    echo "  neither: $(count "$stray")" $stray
    [ -z "$stray" ] || failed=1
fi

if [ "$failed" -ne 0 ]; then
    echo "check-kernel-module: FAILED ($((SECONDS - start)) s)"
    exit 1
fi
echo "check-kernel-module: passed ($((SECONDS - start)) s)"
