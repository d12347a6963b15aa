#!/usr/bin/env bash
# Runs the benchmark programs under callgrind and splits each measured loop's instruction counts by
# the source folder of the function that ran them (driver/, kal/, board/, the rest), per
# iteration; then prints the instruction-count goals.
# Usage: tools/bench/callgrind.sh [BUILD_DIR]   (default build-plain, with the benchmarks built)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-plain}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The programs' loops turn collection on and dump each loop under a label "NAME iterations=N" or
# "NAME per=N"; nothing outside them is counted.
for program in request-bench download-bench routing-bench; do
    valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$out/$program.%p" \
        "$build/tools/bench/$program" >"$out/$program.log" 2>&1 ||
        { cat "$out/$program.log"; echo "$program failed under callgrind" >&2; exit 1; }
done

# "LABEL driver kal board rest" for one dump, per iteration (and unit): each cost line is the self cost of
# the source file in force (fl=, or fi=/fe= inside inlined code); the line after calls= is the
# callee's inclusive cost and is skipped. File names are compressed as "(id) name", then "(id)".
split() {
    local file=$1 label divisor
    label=$(sed -n 's/^desc: Trigger: Client Request: //p' "$file")
    [ -n "$label" ] || return 0
    # Per iteration, and per unit of work where the label names one ("per=N").
    divisor=$(awk '{
        n = 1
        for (i = 2; i <= NF; ++i) if ($i ~ /^(iterations|per)=[0-9]+$/) { sub(/^[a-z]+=/, "", $i); n *= $i }
        print n }' <<<"$label")
    awk -v root="$root/" -v label="${label%% *}" -v n="$divisor" '
        function name(text,   id) {
            if (match(text, /^\([0-9]+\)/)) {
                id = substr(text, 2, RLENGTH - 2)
                if (length(text) > RLENGTH) files[id] = substr(text, RLENGTH + 2)
                return files[id]
            }
            return text
        }
        # Debug information names a file under the source tree absolute or relative to it.
        function folder(path,   f) {
            if (index(path, root) == 1) path = substr(path, length(root) + 1)
            else if (path ~ /^\//) return "rest"
            f = path; sub(/\/.*/, "", f)
            return (f == "driver" || f == "kal" || f == "board") ? f : "rest"
        }
        /^fl=/ { fl = name(substr($0, 4)); current = fl; next }
        /^(fi|fe)=/ { current = name(substr($0, 4)); next }
        /^(cfi|cfl)=/ { name(substr($0, 5)); next }
        /^fn=/ { current = fl; next }
        /^calls=/ { skip = 1; next }
        /^[0-9+*-]/ {
            if (skip) { skip = 0; next }
            sum[folder(current)] += $NF
        }
        END {
            printf "%s %.1f %.1f %.1f %.1f\n", label, sum["driver"] / n, sum["kal"] / n, sum["board"] / n,
                sum["rest"] / n
        }
    ' "$file"
}

for file in "$out"/*.*; do
    case $file in *.log) continue ;; esac
    split "$file"
done >"$out/split"

printf '%-22s %12s %12s %12s %12s   (instructions per iteration)\n' loop driver/ kal/ board/ rest
sort "$out/split" | while read -r label driver kal board rest; do
    printf '%-22s %12s %12s %12s %12s\n' "$label" "$driver" "$kal" "$board" "$rest"
done

driverOf() { awk -v l="$1" '$1 == l { print $2 }' "$out/split"; }
totalOf() { awk -v l="$1" '$1 == l { print $2 + $3 + $4 + $5 }' "$out/split"; }
goal() {  # figure value goal
    awk -v f="$1" -v v="$2" -v g="$3" 'BEGIN {
        if (v == "") { printf "goal: %s: not counted\n", f; exit }
        printf "goal: %s: %.1f driver instructions, goal at most %s, %s\n", f, v, g, (v <= g ? "met" : "missed") }'
}
goal "request path (setup-level query)" "$(driverOf request-path)" 1000
goal "arm_write by map name and field identifier" "$(driverOf arm-write-by-name)" 2000
write=$(driverOf arm-write-by-name)
lookup=$(driverOf name-lookup)
awk -v w="$write" -v l="$lookup" 'BEGIN {
    if (w == "" || l == "") { print "goal: name lookup the smaller part of arm_write: not counted"; exit }
    printf "goal: name lookup the smaller part of arm_write: %.1f of %.1f (%.0f %%), %s\n", l, w, 100 * l / w,
        (2 * l < w ? "met" : "missed") }'
goal "FPGA download, per 64-bit store" "$(driverOf fpga-download)" 15
# The route search's instructions against the reference's (all folders: Boost is "the rest").
for query in typical settle-all; do
    awk -v q="$query" -v s="$(totalOf "search-$query")" -v t="$(totalOf "two-pass-$query")" \
        -v r="$(totalOf "bgl-$query")" 'BEGIN {
        if (s == "" || r == "") { printf "route search, %s: not counted\n", q; exit }
        printf "route search, %s: %.0f instructions, two-pass %.0f, BGL %.0f: ratios %.3f and %.3f\n", q, s, t, r,
            s / r, t / r }'
done
