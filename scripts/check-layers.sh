#!/usr/bin/env bash
# The folders of driver/ stand in five layers, and a file includes only headers of its own layer
# and of the layers below it. Fails, naming the file, the include and both layers, on every
# `#include "..."` that reaches a higher layer and is not one of the exceptions below, on a folder
# without a layer, and on an exception that no longer occurs.
set -euo pipefail
cd "$(dirname "$0")/../driver"

# The layers, lowest first, as README.md draws them beside its table of folders: one line each of
# number, name (its words joined by dashes) and folders. A folder holds its subfolders unless one
# of them is listed itself.
layers=$(sed -n '/^| layer | folders |$/,/^$/p' ../README.md | awk -F'|' 'NR > 2 && NF > 3 {
    n = split($2, label, " ")
    line = label[1] " " label[2]
    for (i = 3; i <= n; ++i) line = line "-" label[i]
    rest = $3
    while (match(rest, /`[^`]+`/)) {
        line = line " " substr(rest, RSTART + 1, RLENGTH - 2)
        rest = substr(rest, RSTART + RLENGTH)
    }
    print line
}')
if [ "$(printf '%s\n' "$layers" | grep -c .)" -lt 2 ]; then
    echo "check-layers: README.md has no table of layers (a table headed '| layer | folders |')" >&2
    exit 1
fi

# Includes that run upward on purpose: file, included header, why.
exceptions='
atut/regMapRouteProgrammer.h quolinTools/armgen/dynamicAccessInterfaceBase.h the toolkit route programmer keeps its register maps by the register-map interface
'

files=$(mktemp)
trap 'rm -f "$files"' EXIT
find . -type f \( -name '*.h' -o -name '*.cpp' \) | sed 's|^\./||' >"$files"

grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+"' --include='*.h' --include='*.cpp' . |
    sed 's|^\./||' |
    awk -v layers="$layers" -v exceptions="$exceptions" -v files="$files" '
    function dir(path) { return path ~ /\// ? substr(path, 1, match(path, /\/[^\/]*$/) - 1) : "." }
    # The layer of a folder: that of the longest listed folder that is it or holds it.
    function layerOf(folder,    best, f) {
        best = ""
        for (f in layer)
            if ((folder == f || index(folder, f "/") == 1) && length(f) > length(best)) best = f
        return best == "" ? 0 : layer[best]
    }
    BEGIN {
        n = split(layers, lines, "\n")
        for (i = 1; i <= n; ++i) {
            k = split(lines[i], w, " ")
            if (k < 3) continue
            name[w[1]] = w[2]
            for (j = 3; j <= k; ++j) layer[w[j]] = w[1]
        }
        n = split(exceptions, lines, "\n")
        for (i = 1; i <= n; ++i) {
            if (split(lines[i], w, " ") < 2) continue
            allowed[w[1] " " w[2]] = 1
        }
        while ((getline f < files) > 0) {
            exists[f] = 1
            d = dir(f)
            if (!(d in seen)) {
                seen[d] = 1
                if (layerOf(d) == 0) { printf "driver/%s: folder has no layer\n", d; failed = 1 }
            }
        }
    }
    {
        file = substr($0, 1, index($0, ":") - 1)
        match($0, /"[^"]+"/)
        header = substr($0, RSTART + 1, RLENGTH - 2)
        # Headers from outside driver/: the kernel layer and generated data.
        if (!(header in exists)) next
        from = layerOf(dir(file))
        to = layerOf(dir(header))
        if (from == 0 || to <= from) next
        if ((file " " header) in allowed) { used[file " " header] = 1; next }
        printf "driver/%s: includes \"%s\": layer %d (%s) includes layer %d (%s)\n", file, header, from, name[from], to, name[to]
        failed = 1
    }
    END {
        for (e in allowed)
            if (!(e in used)) { split(e, w, " "); printf "exception no longer needed: driver/%s includes \"%s\"\n", w[1], w[2]; failed = 1 }
        exit failed
    }'
echo "driver/: every include stays in its layer or goes below it"
