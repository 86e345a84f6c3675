#!/usr/bin/env bash
# Side-by-side speed of quorvel and the peer analysers on the same generated logs.
# Usage: bench/run.sh <release-build-dir>
# Environment: BENCH_LINES (default 1000000), BENCH_RUNS (default 3),
#              BENCH_PEERS (default "webalizer goaccess analog"), BENCH_DIR (scratch space).
set -eu
build=${1:?usage: bench/run.sh <release-build-dir>}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
quorvel=$(cd "$build" && pwd)/quorvel
lines=${BENCH_LINES:-1000000}
runs=${BENCH_RUNS:-3}
peers=${BENCH_PEERS:-webalizer goaccess analog}
work=${BENCH_DIR:-$top/build/bench}
mkdir -p "$work"

# The peers and GNU time come from Debian packages.
pkgs=(time)
for p in $peers; do pkgs+=("$p"); done
"$top/scripts/bootstrap.sh" "${pkgs[@]}" python3 bc

# Two logs: the shape of a small real site, and one with many distinct hosts and paths.
declare -A logs
logs[typical]="$work/typical-$lines.log"
logs[unique]="$work/unique-$lines.log"
[ -s "${logs[typical]}" ] || python3 "$here/genlog.py" -n "$lines" --days 60 --seed 1 -o "${logs[typical]}"
[ -s "${logs[unique]}" ] || python3 "$here/genlog.py" -n "$lines" --days 60 --seed 2 \
    --hosts 100000 --paths 300000 -o "${logs[unique]}"

# mm/dd/yyyy of a log line's [dd/Mon/yyyy:...] date.
logdate() {
    sed -n 's/^[^[]*\[\([0-9]*\)\/\([A-Za-z]*\)\/\([0-9]*\):.*/\2 \1 \3/p' | head -1 |
        while read -r mon day year; do date -d "$mon $day $year" +%m/%d/%Y; done
}

# One timed run: prints "seconds kilobytes"; the command's own output is discarded.
timed() {
    local out
    out=$( { /usr/bin/time -f '%e %M' "$@" >/dev/null 2>/dev/null; } 2>&1 | tail -1)
    echo "$out"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

run_tool() {  # name log -> "median_seconds max_kb"
    local name=$1 log=$2 secs=() kbs=() i out dir
    for ((i = 0; i < runs; i++)); do
        dir="$work/out-$name"
        rm -rf "$dir"; mkdir -p "$dir"
        case $name in
        quorvel)
            printf 'reportdir %s\nmydomain com\nfrequency weekly\n' "$dir" >"$work/quorvel.conf"
            out=$(timed "$quorvel" -c "$work/quorvel.conf" -l "$log" -b "$begin" -e "$end") ;;
        webalizer)
            out=$(timed webalizer -Q -F clf -N 0 -c /dev/null -o "$dir" "$log") ;;
        goaccess)
            out=$(timed goaccess "$log" --log-format=COMBINED --no-global-config -o "$dir/report.html") ;;
        analog)
            out=$(timed analog -G "+COUTFILE $dir/report.html" "+CLOGFORMAT COMBINED" "$log") ;;
        esac
        secs+=("${out% *}"); kbs+=("${out#* }")
    done
    echo "$(printf '%s\n' "${secs[@]}" | median) $(printf '%s\n' "${kbs[@]}" | sort -n | tail -1)"
}

printf '%-9s %-9s %10s %12s %10s %14s\n' log tool seconds lines/s MiB "quorvel faster"
for kind in typical unique; do
    log=${logs[$kind]}
    cat "$log" >/dev/null  # into the page cache
    begin=$(head -1 "$log" | logdate)
    end=$(tail -1 "$log" | logdate)
    read -r qs qk <<<"$(run_tool quorvel "$log")"
    printf '%-9s %-9s %10.2f %12.0f %10.0f %14s\n' "$kind" quorvel "$qs" \
        "$(echo "$lines / ($qs + 0.0001)" | bc -l)" "$(echo "$qk / 1024" | bc -l)" "-"
    for p in $peers; do
        command -v "$p" >/dev/null || continue
        read -r ps pk <<<"$(run_tool "$p" "$log")"
        printf '%-9s %-9s %10.2f %12.0f %10.0f %13.2fx\n' "$kind" "$p" "$ps" \
            "$(echo "$lines / ($ps + 0.0001)" | bc -l)" "$(echo "$pk / 1024" | bc -l)" \
            "$(echo "$ps / ($qs + 0.0001)" | bc -l)"
    done
done
