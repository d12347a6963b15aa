#!/usr/bin/env bash
# Asks an installed kernel's kbuild how it compiles and checks the C file of an external module
# (a dry run: nothing is compiled) and prints two lines:
#   codegen: the x86-64 code-generation flags among its compiler flags
#   objtool: the objtool checks its configuration asks for on a module's object
# Usage: kernel-flags.sh [KERNEL-BUILD-DIR]; without one, the running kernel's build tree, else the
# newest in /lib/modules/*/build. Fails when there is none or kbuild answers nothing usable.
# kernel-flags.sh --find prints the build tree it would use.
set -euo pipefail

find_kernel() {
    local candidate
    for candidate in "/lib/modules/$(uname -r)/build" $(ls -d /lib/modules/*/build 2>/dev/null | sort -rV); do
        if [ -f "$candidate/Makefile" ] && [ -f "$candidate/Module.symvers" ] && [ -x "$candidate/tools/objtool/objtool" ]; then
            echo "$candidate"
            return 0
        fi
    done
    return 1
}

if [ "${1:-}" = --find ]; then
    find_kernel
    exit
fi
kdir=${1:-$(find_kernel)} || { echo "no kernel build tree in /lib/modules/*/build" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#include <linux/module.h>\nMODULE_LICENSE("GPL");\n' >"$work/probe.c"
echo 'obj-m := probe.o' >"$work/Kbuild"
# The recipe is one shell line: traps, the compile, then objtool on the object.
recipe=$(make -n -C "$kdir" M="$work" probe.o 2>/dev/null | tr ';' '\n')
compile=$(grep -E -- "-c -o [^ ]*probe\.o [^ ]*probe\.c" <<<"$recipe" | head -n 1 || true)
objtool=$(sed -n 's|.*tools/objtool/objtool \(.*\) [^ ]*probe\.o *$|\1|p' <<<"$recipe" | head -n 1)

# Code generation: the machine options and the few -f options that decide layout and indirect
# branches. Left out: C-only options, warnings, includes and defines, the function-tracing hooks
# (-pg, -mfentry, -mrecord-mcount) and the stack protector, which the driver builds without.
codegen=()
for flag in $compile; do
    case $flag in
        -mfentry | -mrecord-mcount | -mnop-mcount | -mstack-protector-guard*) ;;
        -m* | -falign-* | -fcf-protection=* | -fno-jump-tables | -fno-asynchronous-unwind-tables) codegen+=("$flag") ;;
    esac
done
[ ${#codegen[@]} -gt 0 ] && [ -n "$objtool" ] || { echo "kbuild of $kdir: no flags or no objtool call found" >&2; exit 1; }
echo "codegen: ${codegen[*]}"
echo "objtool:" $objtool
