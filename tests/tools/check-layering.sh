#!/usr/bin/env bash
# Checks that the folders of src/ include one another only downwards: every
# #include "dir/..." in src/<folder>/ must name a pair allowed below (or its own folder).
# Prints each violation as file:line and exits 1 when there is one.
# Usage: tests/tools/check-layering.sh [source-dir]
set -eu

# folder: the folders it may include from
allowed=(
    "core:"
    "console:core"
    "config:core console"
    "log:core config"
    "chart:core config"
    "report:core config chart log console"
    "engine:core config console log chart report"
    "quorset:console core"
)

top=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$top/src"

declare -A may
for entry in "${allowed[@]}"; do
    may[${entry%%:*}]=" ${entry#*:} "
done

status=0
for folder in */; do
    folder=${folder%/}
    if [ -z "${may[$folder]+set}" ]; then
        echo "src/$folder: a folder the layering table does not know"
        status=1
        continue
    fi
    while IFS=: read -r file line text; do
        dir=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"/]+)\/.*/\1/' <<<"$text")
        if [ "$dir" != "$folder" ] && [[ "${may[$folder]}" != *" $dir "* ]]; then
            echo "src/$file:$line: $folder may not include from $dir: $(sed -E 's/^[[:space:]]+//' <<<"$text")"
            status=1
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' "$folder" || true)
done
[ $status -eq 0 ] && echo "include layering: every include of src/ goes the allowed way"
exit $status
