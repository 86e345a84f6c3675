#!/bin/sh
# Analyses the bundled sample log (four weeks of March 2024) into a fresh report
# directory and prints where the pages are. Usage: scripts/demo.sh <build-dir>
set -eu

build=${1:-build/release}
root=$(cd "$(dirname "$0")/.." && pwd)
case $build in /*) ;; *) build=$root/$build ;; esac
quorvel=$build/quorvel
if [ ! -x "$quorvel" ]; then
    echo "demo: $quorvel is missing; build it first (make release)" >&2
    exit 1
fi

demo=$build/demo
reports=$demo/reports
rm -rf "$demo"
mkdir -p "$reports"
config=$demo/quorvel.conf

# The example configuration, pointed at the fresh report directory; the log is given
# on the command line. After the browsers come who is visiting: browser and system
# families of the people and the robots (the sample's ExampleBot), kept apart.
visitors='browserfamilies yes\nsystemfamilies yes\nrobotlist yes\nrobots apart'
{
    echo "reportdir $reports"
    if [ -f "$root/examples/quorvel.conf" ]; then
        awk -v visitors="$visitors" \
            'tolower($1) != "reportdir" && tolower($1) != "logfile" && tolower($1) != "logdir"
             tolower($1) == "useragents" { print visitors }' \
            "$root/examples/quorvel.conf"
    else
        echo "mydomain com"
        echo "frequency weekly"
        echo "sites yes"
        echo "notfound yes"
        printf '%b\n' "$visitors"
        echo "totals"
        echo "*.html HTML pages"
        echo "*.gif Images"
        echo "end totals"
    fi
} >"$config"

# One week per page; the window keeps the demo to the weeks of the sample.
"$quorvel" -c "$config" -l "$root/examples/sample.log" -b 03/01/2024 -e 03/28/2024 </dev/null

index=$(sed -n 's/^indexname[[:space:]]*//Ip' "$config" | tail -n 1)
[ -n "$index" ] || index=index.html
pages=$(ls "$reports" | grep -c '^[0-9][0-9]*\.' || true)
echo "quorvel wrote $pages period pages and the history into $reports"
echo "Open $reports/$index"
