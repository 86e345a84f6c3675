#!/usr/bin/env bash
# Builds every libFuzzer target with clang, ASan and UBSan and runs each for the given
# number of seconds from its seed corpus in tests/fuzz/corpus/<target>/.
# Usage: tests/fuzz/run.sh [seconds]
# Environment: QUORVEL_WERROR=ON makes compiler warnings errors (make fuzz, make test).
set -eu
seconds=${1:-60}
top=$(cd "$(dirname "$0")/../.." && pwd)
if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is not installed (make fuzz installs it)"
    exit 77
fi
build=$top/build/fuzz
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVEL_FUZZ=ON -DQUORVEL_TESTS=OFF -DQUORVEL_WERROR="${QUORVEL_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
status=0
for target in "$build"/*_fuzz; do
    name=$(basename "$target")
    seeds=$top/tests/fuzz/corpus/${name%_fuzz}
    work=$build/corpus/${name%_fuzz}
    mkdir -p "$work" "$seeds"
    dict=()
    [ -f "$top/tests/fuzz/${name%_fuzz}.dict" ] && dict=(-dict="$top/tests/fuzz/${name%_fuzz}.dict")
    log=$build/$name.log
    if "$target" -max_total_time="$seconds" -close_fd_mask=3 -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$build/$name-" \
        "${dict[@]}" "$work" "$seeds" >"$log" 2>&1; then
        runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -1)
        echo "fuzz $name: ${runs:-done} in ${seconds}s, no finding"
    else
        echo "fuzz $name: FINDING (see $log)"
        grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5
        status=1
    fi
done
exit $status
