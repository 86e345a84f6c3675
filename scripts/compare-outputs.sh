#!/usr/bin/env bash
# Runs two quorvel binaries over the same logs in daily, weekly, monthly and summary mode
# with every section on, and compares the pages, GIFs and database.dat they write byte
# for byte. Used to show that a change keeps every output the same.
# Usage: scripts/compare-outputs.sh OLD_QUORVEL NEW_QUORVEL LOG...
# Environment: COMPARE_MODES (default "daily weekly monthly summary"), COMPARE_DIR
# (scratch space, default a temporary directory), COMPARE_CONF (configuration lines added to
# both runs' configurations, "\n" between lines).
set -eu
old=${1:?usage: compare-outputs.sh OLD NEW LOG...}
new=${2:?usage: compare-outputs.sh OLD NEW LOG...}
shift 2
[ $# -gt 0 ] || { echo "compare-outputs.sh: no log given" >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
modes=${COMPARE_MODES:-daily weekly monthly summary}
work=${COMPARE_DIR:-$(mktemp -d)}
status=0

# mm/dd/yyyy of the first and the last dated line of a common or combined log.
logdates() {
    sed -n 's/^[^[]*\[\([0-9]*\)\/\([A-Za-z]*\)\/\([0-9]*\):.*/\2 \1 \3/p' "$1" |
        sed -n '1p;$p' | while read -r mon day year; do date -d "$mon $day $year" +%m/%d/%Y; done
}

for log in "$@"; do
    set -- $(logdates "$log")
    first=${1:-}
    last=${2:-$first}
    for mode in $modes; do
        for which in old new; do
            dir=$work/$(basename "$log")-$mode-$which
            rm -rf "$dir"
            mkdir -p "$dir"
            {
                echo "reportdir $dir"
                awk 'tolower($1) == "totals" { skip = 1 } !skip && tolower($1) != "reportdir" &&
                     tolower($1) != "logfile" && tolower($1) != "frequency" &&
                     tolower($1) !~ /^(authusers|domains|proxysites|proxydomains)$/ { print }
                     skip && tolower($1) == "end" { skip = 0 }' "$top/examples/quorvel.conf"
                [ "$mode" = summary ] || echo "frequency $mode"
                printf 'authusers yes\ndomains yes\nproxysites yes\nproxydomains yes\n'
                printf 'totals\n* All accesses\n*.html|*/ Pages\n*.gif|*.jpg|*.png Images\nend totals\n'
                [ -z "${COMPARE_CONF:-}" ] || printf '%b\n' "$COMPARE_CONF"
            } >"$dir.conf"
            bin=$old
            [ "$which" = new ] && bin=$new
            args=(-c "$dir.conf" -l "$log")
            if [ "$mode" = summary ]; then args+=(-s); elif [ -n "$first" ]; then args+=(-b "$first" -e "$last"); fi
            "$bin" "${args[@]}" </dev/null >"$dir.out" 2>&1 || echo "exit $?" >>"$dir.out"
            rm -f "$dir/quorvel.lock"
        done
        base=$work/$(basename "$log")-$mode
        if diff -r "$base-old" "$base-new" >/dev/null && cmp -s "$base-old.out" "$base-new.out"; then
            echo "same      $mode $(basename "$log") ($(ls "$base-new" | wc -l) files)"
        else
            echo "DIFFERENT $mode $(basename "$log")"
            diff -rq "$base-old" "$base-new" | head -n 5
            status=1
        fi
    done
done
exit $status
