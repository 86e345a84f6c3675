#!/usr/bin/env bash
# Shows that the work tree writes the same outputs as a base revision: builds the base
# (exported with git archive, so the work tree and the repository stay as they are) and
# runs scripts/compare-outputs.sh with both binaries over the sample log, two generated
# logs and any others given. Exits non-zero when any output differs.
# Usage: tests/tools/compare.sh <release-build-dir of the work tree>
# Environment: COMPARE_BASE (revision, default HEAD), COMPARE_LOGS (more logs, separated
# by spaces), JOBS (build jobs, default the number of processors).
set -eu
build=${1:?usage: tests/tools/compare.sh <release-build-dir>}
top=$(cd "$(dirname "$0")/../.." && pwd)
new=$(cd "$build" && pwd)/quorvel
[ -x "$new" ] || { echo "compare: no quorvel in $build" >&2; exit 2; }
base=${COMPARE_BASE:-HEAD}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

if ! rev=$(git -C "$top" rev-parse --verify --quiet "$base^{commit}"); then
    echo "compare: $base is not a revision of the repository in $top" >&2
    exit 2
fi

# The base's sources are exported again only when the revision changes, so that its
# build stays incremental.
work=$top/build/compare-base
if [ "$(cat "$work/revision" 2>/dev/null)" != "$rev" ]; then
    rm -rf "$work"
    mkdir -p "$work/src"
    git -C "$top" archive --format=tar "$rev" | tar -x -C "$work/src"
    echo "$rev" >"$work/revision"
fi
echo "compare: building $base (${rev:0:12}) in $work"
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUORVEL_TESTS=OFF >/dev/null
cmake --build "$work/build" --target quorvel -j "$jobs" >/dev/null
old=$work/build/quorvel

# The bench profiles, a fifth of their size: a small site, and one where nearly every
# path and host is new.
logs=$top/build/compare-logs
mkdir -p "$logs"
makelog() {  # name args... -> path; generated once and kept
    local path=$logs/$1.log
    shift
    if [ ! -s "$path" ]; then
        python3 "$top/bench/genlog.py" "$@" -o "$path.tmp" >&2
        mv "$path.tmp" "$path"
    fi
    echo "$path"
}
typical=$(makelog typical -n 200000 --days 12 --seed 1 --paths 1500 --hosts 1750)
unique=$(makelog unique -n 200000 --days 12 --seed 2 --hosts 20000 --paths 60000)

# shellcheck disable=SC2086 # COMPARE_LOGS is a list of paths
COMPARE_DIR=${COMPARE_DIR:-$top/build/compare-out} "$top/scripts/compare-outputs.sh" \
    "$old" "$new" "$top/examples/sample.log" "$typical" "$unique" ${COMPARE_LOGS:-}
