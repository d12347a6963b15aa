#!/usr/bin/env bash
# Runs the benchmark programs under callgrind and splits each measured loop's instruction counts by
# the source folder of the function that ran them (driver/, kal/, board/, the rest), per
# iteration (and per unit of work where the loop names one); counts kzvorn-sim's whole run and
# times it; then prints the instruction-count goals and those of the bring-up.
# Usage: tools/bench/callgrind.sh [BUILD_DIR]   (default build-plain, with the benchmarks and
# kzvorn-sim built)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-plain}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The programs zero the counts before each loop and dump them after it under a label "NAME
# iterations=N" or "NAME per=N iterations=N"; only the loops' dumps are read. Collection is on in
# every thread (callgrind's switch is per thread), so a loop that hands work to the stand-in's
# interrupt and deferred-call threads counts theirs too.
for program in request-bench download-bench routing-bench crc-bench dma-bench; do
    valgrind --tool=callgrind --callgrind-out-file="$out/$program.%p" \
        "$build/tools/bench/$program" >"$out/$program.log" 2>&1 ||
        { cat "$out/$program.log"; echo "$program failed under callgrind" >&2; exit 1; }
done
# kzvorn-sim's whole run with the default board: load, bring-up to the highest level, the summary,
# removal and unload.
valgrind --tool=callgrind --callgrind-out-file="$out/bringup.callgrind" "$build/tools/kzvorn-sim/kzvorn-sim" \
    </dev/null >"$out/bringup.log" 2>&1 ||
    { cat "$out/bringup.log"; echo "kzvorn-sim failed under callgrind" >&2; exit 1; }
grep -q 'reached level: 22 (target 22), status: 0' "$out/bringup.log" ||
    { cat "$out/bringup.log"; echo "kzvorn-sim did not reach level 22" >&2; exit 1; }

# "LABEL driver kal board rest" for one dump, per iteration (and unit): each cost line is the self cost of
# the source file in force (fl=, or fi=/fe= inside inlined code); the line after calls= is the
# callee's inclusive cost and is skipped. File names are compressed as "(id) name", then "(id)".
split() {  # file [label]
    local file=$1 label=${2:-} divisor
    [ -n "$label" ] || label=$(sed -n 's/^desc: Trigger: Client Request: //p' "$file")
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

for file in "$out"/*-bench.*; do
    case $file in *.log) continue ;; esac
    split "$file"
done >"$out/split"
split "$out/bringup.callgrind" "bring-up" >>"$out/split"

printf '%-22s %14s %14s %14s %14s   (instructions per iteration, or per unit)\n' loop driver/ kal/ board/ rest
sort "$out/split" | while read -r label driver kal board rest; do
    printf '%-22s %14s %14s %14s %14s\n' "$label" "$driver" "$kal" "$board" "$rest"
done

driverOf() { awk -v l="$1" '$1 == l { print $2 }' "$out/split"; }
totalOf() { awk -v l="$1" '$1 == l { print $2 + $3 + $4 + $5 }' "$out/split"; }
goal() {  # figure value goal [unit]
    awk -v f="$1" -v v="$2" -v g="$3" -v u="${4:-driver instructions}" 'BEGIN {
        if (v == "") { printf "goal: %s: not counted\n", f; exit }
        printf "goal: %s: %.1f %s, goal at most %s, %s\n", f, v, u, g, (v + 0 <= g + 0 ? "met" : "missed") }'
}
goal "request path (setup-level query)" "$(driverOf request-path)" 300
goal "arm_write by map name and field identifier" "$(driverOf arm-write-by-name)" 1000
write=$(driverOf arm-write-by-name)
lookup=$(driverOf name-lookup)
awk -v w="$write" -v l="$lookup" 'BEGIN {
    if (w == "" || l == "") { print "goal: name lookup at most a third of arm_write: not counted"; exit }
    printf "goal: name lookup at most a third of arm_write: %.1f of %.1f driver instructions (%.1f %%), %s\n", l, w,
        100 * l / w, (3 * l <= w ? "met" : "missed") }'
goal "FPGA download, per 64-bit store" "$(driverOf fpga-download)" 15
awk -v t="$(totalOf bring-up)" 'BEGIN {
    printf "goal: kzvorn-sim bring-up to level 22, whole process: %.1f M instructions, goal at most 500 M, %s\n",
        t / 1e6, (t <= 500e6 ? "met" : "missed") }'
# The wall time of the same run outside valgrind: the median of five.
for run in 1 2 3 4 5; do
    start=$(date +%s%N)
    "$build/tools/kzvorn-sim/kzvorn-sim" </dev/null >/dev/null
    echo $(( $(date +%s%N) - start ))
done | sort -n | awk -v load="$(cut -d' ' -f1 /proc/loadavg)" 'NR == 3 {
    printf "goal: kzvorn-sim bring-up to level 22, wall time: %.3f s (median of 5; load average %s on %d processors), goal under 0.15 s on an idle machine, %s\n",
        $1 / 1e9, load, procs, ($1 < 0.15e9 ? "met" : "missed") }' procs="$(nproc)"
# The board's and the rest's counts of the waits include the benchmark's pump polling the board.
kalOf() { awk -v l="$1" '$1 == l { print $3 }' "$out/split"; }
for figure in "dma-add-1MiB:a 1 MiB buffer added to a stream and cleared, per page" \
    "dma-wait:a wait released by the board's interrupt, per wait"; do
    awk -v f="${figure#*:}" -v d="$(driverOf "${figure%%:*}")" -v k="$(kalOf "${figure%%:*}")" 'BEGIN {
        if (d == "") { printf "goal: DMA, %s: not counted\n", f; exit }
        printf "goal: DMA, %s: %.1f driver instructions (the stand-in %.1f), no goal yet\n", f, d, k }'
done
# Instructions a byte, ours and zlib's (the time ratios, the goals, are crc-bench's).
awk -v o="$(totalOf crc-4092)" -v z="$(totalOf zlib-crc-4092)" 'BEGIN {
    if (o == "" || z == "") { print "CRC-32 at 4092 bytes: not counted"; exit }
    printf "CRC-32 at 4092 bytes: %.2f instructions a byte, zlib %.2f (the goal is on time: crc-bench)\n", o, z }'
# The route search's instructions against the reference's (all folders: Boost is "the rest"); the
# goals are on time (routing-bench).
for query in typical settle-all; do
    awk -v q="$query" -v s="$(totalOf "search-$query")" -v t="$(totalOf "two-pass-$query")" \
        -v r="$(totalOf "bgl-$query")" -v e="$(totalOf "bgl-rule-$query")" 'BEGIN {
        if (s == "" || r == "" || e == "") { printf "route search, %s: not counted\n", q; exit }
        printf "route search, %s: %.0f instructions, two-pass %.0f, BGL %.0f, BGL with the endpoint-only rule %.0f: search / BGL %.3f, search / BGL with the rule %.3f (the goals are on time: routing-bench)\n",
            q, s, t, r, e, s / r, s / e }'
done
