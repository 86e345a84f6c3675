#!/usr/bin/env bash
# Side-by-side speed of quorvel and the peer analysers on the same generated logs.
# Usage: bench/run.sh <release-build-dir>
#
# Profiles (BENCH_PROFILES, default "typical realistic unique scale crawler"):
#   typical  1M lines of a small site: ~1,500 paths, ~1,750 hosts, 60 days
#   realistic 1M lines over 60 days whose paths, hosts, referrers and agents are drawn
#            from bench/realistic.sample (long real-world agents, feed readers, robots)
#   unique   1M lines with 300,000 paths and 100,000 hosts, 60 days
#   scale    the typical site over 1M, 4M and 10M lines (60 days per million lines, so
#            every period looks alike): the cost per line must stay flat
#   crawler  one robot walking 200,000 distinct pages in a single visit
# Environment: BENCH_RUNS (default 3), BENCH_PEERS (default "webalizer goaccess analog";
#              empty for quorvel alone), BENCH_DIR (scratch space, default build/bench),
#              BENCH_SCALE (default "1000000 4000000 10000000"), BENCH_CRAWL (200000),
#              BENCH_QUORVEL_CONF (configuration lines added to quorvel's, "\n" between
#              them, e.g. "pagestyle modern"), BENCH_SINGLE (1, the default, also runs
#              quorvel with -j 1 as the row quorvel-j1; 0 leaves it out).
# Every tool runs BENCH_RUNS times per log, files in the page cache; the table shows the
# median wall time, lines per second from it, the median processor time (user + system,
# steadier than wall time on a shared machine), the largest peak memory, and how many
# times faster quorvel is than each peer. The target lines at the end compare with the
# fastest peer of each profile.
set -eu
build=${1:?usage: bench/run.sh <release-build-dir>}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
quorvel=$(cd "$build" && pwd)/quorvel
runs=${BENCH_RUNS:-3}
peers=${BENCH_PEERS-webalizer goaccess analog}
profiles=${BENCH_PROFILES:-typical realistic unique scale crawler}
scaleLines=${BENCH_SCALE:-1000000 4000000 10000000}
crawlLines=${BENCH_CRAWL:-200000}
work=${BENCH_DIR:-$top/build/bench}
extra=${BENCH_QUORVEL_CONF:-}
single=${BENCH_SINGLE:-1}
mkdir -p "$work"
[ -x "$quorvel" ] || { echo "run.sh: no quorvel in $build" >&2; exit 1; }

# The peers and GNU time come from Debian packages.
pkgs=(time)
for p in $peers; do pkgs+=("$p"); done
"$top/scripts/bootstrap.sh" "${pkgs[@]}" python3 bc

# log file for a name and generator arguments; generated once and kept in $work.
makelog() {  # name args... -> path
    local name=$1; shift
    local path="$work/$name.log"
    if [ ! -s "$path" ]; then
        python3 "$here/genlog.py" "$@" -o "$path.tmp" >&2
        mv "$path.tmp" "$path"
    fi
    echo "$path"
}

typicalLog() {  # lines -> path: the small site, 60 days per million lines
    local lines=$1 days=$(( ($1 * 60 + 999999) / 1000000 ))
    makelog "typical-$lines" -n "$lines" --days "$days" --seed 1 --paths 1500 --hosts 1750
}

# mm/dd/yyyy of a log line's [dd/Mon/yyyy:...] date.
logdate() {
    sed -n 's/^[^[]*\[\([0-9]*\)\/\([A-Za-z]*\)\/\([0-9]*\):.*/\2 \1 \3/p' | head -1 |
        while read -r mon day year; do date -d "$mon $day $year" +%m/%d/%Y; done
}

# One timed run: prints "wall_seconds cpu_seconds kilobytes"; the command's own output
# is discarded.
timed() {
    /usr/bin/time -o "$work/time.out" -f '%e %U %S %M' "$@" >/dev/null 2>/dev/null ||
        echo "run.sh: $1 ended with a failure status" >&2
    tail -1 "$work/time.out" | awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}'
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

run_tool() {  # name log -> "median_wall median_cpu max_kb"
    local name=$1 log=$2 walls=() cpus=() kbs=() i out dir wall cpu kb
    local begin end
    begin=$(head -1 "$log" | logdate)
    end=$(tail -1 "$log" | logdate)
    for ((i = 0; i < runs; i++)); do
        dir="$work/out-$name"
        rm -rf "$dir"; mkdir -p "$dir"
        case $name in
        quorvel|quorvel-j1)
            printf 'reportdir %s\nmydomain com\nfrequency weekly\n%b\n' "$dir" "$extra" \
                >"$work/quorvel.conf"
            local threads=()
            [ "$name" = quorvel-j1 ] && threads=(-j 1)
            out=$(timed "$quorvel" -c "$work/quorvel.conf" "${threads[@]}" -l "$log" -b "$begin" -e "$end") ;;
        webalizer)
            out=$(timed webalizer -Q -F clf -N 0 -c /dev/null -o "$dir" "$log") ;;
        goaccess)
            out=$(timed goaccess "$log" --log-format=COMBINED --no-global-config -o "$dir/report.html") ;;
        analog)
            out=$(timed analog -G "+COUTFILE $dir/report.html" "+CLOGFORMAT COMBINED" "$log") ;;
        esac
        read -r wall cpu kb <<<"$out"
        walls+=("$wall"); cpus+=("$cpu"); kbs+=("$kb")
    done
    echo "$(printf '%s\n' "${walls[@]}" | median) $(printf '%s\n' "${cpus[@]}" | median)" \
         "$(printf '%s\n' "${kbs[@]}" | sort -n | tail -1)"
}

declare -A wallOf cpuOf mibOf   # "kind tool" -> figures
targets=()

row() {  # kind lines tool wall cpu kb ratio
    printf '%-13s %9s %-9s %8.2f %11.0f %8.2f %8.0f %14s\n' "$1" "$2" "$3" "$4" \
        "$(echo "$2 / ($4 + 0.0001)" | bc -l)" "$5" "$(echo "$6 / 1024" | bc -l)" "$7"
}

bench_log() {  # kind lines log: quorvel and every peer on one log
    local kind=$1 lines=$2 log=$3 qw qc qk pw pc pk p
    cat "$log" >/dev/null  # into the page cache
    read -r qw qc qk <<<"$(run_tool quorvel "$log")"
    wallOf["$kind quorvel"]=$qw; cpuOf["$kind quorvel"]=$qc; mibOf["$kind quorvel"]=$(echo "$qk / 1024" | bc -l)
    row "$kind" "$lines" quorvel "$qw" "$qc" "$qk" "-"
    if [ "$single" = 1 ]; then
        read -r pw pc pk <<<"$(run_tool quorvel-j1 "$log")"
        row "$kind" "$lines" quorvel-j1 "$pw" "$pc" "$pk" "$(printf '%.2fx' "$(echo "$pw / ($qw + 0.0001)" | bc -l)")"
    fi
    for p in $peers; do
        command -v "$p" >/dev/null || continue
        read -r pw pc pk <<<"$(run_tool "$p" "$log")"
        wallOf["$kind $p"]=$pw; cpuOf["$kind $p"]=$pc; mibOf["$kind $p"]=$(echo "$pk / 1024" | bc -l)
        row "$kind" "$lines" "$p" "$pw" "$pc" "$pk" "$(printf '%.2fx' "$(echo "$pw / ($qw + 0.0001)" | bc -l)")"
    done
}

# The fastest peer of a log kind: "name wall mib", or empty without peers.
fastest_peer() {
    local kind=$1 p best="" bw=""
    for p in $peers; do
        [ -n "${wallOf["$kind $p"]:-}" ] || continue
        if [ -z "$bw" ] || [ "$(echo "${wallOf["$kind $p"]} < $bw" | bc -l)" = 1 ]; then
            best=$p; bw=${wallOf["$kind $p"]}
        fi
    done
    [ -n "$best" ] && echo "$best $bw ${mibOf["$kind $best"]}"
}

verdict() { [ "$(echo "$1" | bc -l)" = 1 ] && echo met || echo "NOT met"; }

printf '%-13s %9s %-9s %8s %11s %8s %8s %14s\n' log lines tool wall-s lines/s cpu-s MiB "quorvel faster"
for profile in $profiles; do
    case $profile in
    typical)
        bench_log typical 1000000 "$(typicalLog 1000000)"
        if read -r p pw pm <<<"$(fastest_peer typical)" && [ -n "${p:-}" ]; then
            qw=${wallOf["typical quorvel"]}; qm=${mibOf["typical quorvel"]}
            targets+=("$(printf 'typical: %.2fx the lines/s of %s (target 2x): %s; %.0f MiB vs %.0f MiB + 20 (target): %s' \
                "$(echo "$pw / ($qw + 0.0001)" | bc -l)" "$p" "$(verdict "$pw / ($qw + 0.0001) >= 2")" \
                "$qm" "$pm" "$(verdict "$qm <= $pm + 20")")")
        fi ;;
    realistic)
        bench_log realistic 1000000 "$(makelog realistic-1000000 -n 1000000 --realistic --days 60 --seed 1)"
        if read -r p pw pm <<<"$(fastest_peer realistic)" && [ -n "${p:-}" ]; then
            qw=${wallOf["realistic quorvel"]}; qm=${mibOf["realistic quorvel"]}
            targets+=("$(printf 'realistic: %.2fx the lines/s of %s (target 2x): %s; %.0f MiB vs %.0f MiB + 20 (target): %s' \
                "$(echo "$pw / ($qw + 0.0001)" | bc -l)" "$p" "$(verdict "$pw / ($qw + 0.0001) >= 2")" \
                "$qm" "$pm" "$(verdict "$qm <= $pm + 20")")")
        fi ;;
    unique)
        bench_log unique 1000000 "$(makelog unique-1000000 -n 1000000 --days 60 --seed 2 --hosts 100000 --paths 300000)"
        if read -r p pw pm <<<"$(fastest_peer unique)" && [ -n "${p:-}" ]; then
            qw=${wallOf["unique quorvel"]}; qm=${mibOf["unique quorvel"]}
            targets+=("$(printf 'unique: %.2fx the lines/s of %s (target 3x): %s; %.0f MiB vs a quarter of %s'"'"'s %.0f MiB (target): %s' \
                "$(echo "$pw / ($qw + 0.0001)" | bc -l)" "$p" "$(verdict "$pw / ($qw + 0.0001) >= 3")" \
                "$qm" "$p" "$pm" "$(verdict "$qm < $pm / 4")")")
        fi ;;
    scale)
        first=""
        for n in $scaleLines; do
            bench_log "scale-$n" "$n" "$(typicalLog "$n")"
            [ -n "$first" ] || first=$n
            last=$n
        done
        if [ "$first" != "$last" ]; then
            fw=${wallOf["scale-$first quorvel"]}; lw=${wallOf["scale-$last quorvel"]}
            fc=${cpuOf["scale-$first quorvel"]}; lc=${cpuOf["scale-$last quorvel"]}
            lim=$(echo "$last / $first * 1.05" | bc -l)
            targets+=("$(printf 'scale: %s lines take %.2fx the wall time (%.2fx the processor time) of %s (target <= %.2fx): %s' \
                "$last" "$(echo "$lw / ($fw + 0.0001)" | bc -l)" "$(echo "$lc / ($fc + 0.0001)" | bc -l)" "$first" \
                "$lim" "$(verdict "$lw / ($fw + 0.0001) <= $lim")")")
        fi ;;
    crawler)
        log=$(makelog "crawler-$crawlLines" -n "$crawlLines" --crawler --start 2024-03-03 \
              --days $(( crawlLines / 86400 + 2 )) --seed 3)
        bench_log crawler "$crawlLines" "$log"
        cw=${wallOf["crawler quorvel"]}
        targets+=("$(printf 'crawler: %s steps of one visit in %.2f s (target < 2 s): %s' "$crawlLines" "$cw" \
            "$(verdict "$cw < 2")")")
        ;;
    *) echo "run.sh: unknown profile $profile" >&2; exit 1 ;;
    esac
done
echo
for t in "${targets[@]}"; do echo "$t"; done
