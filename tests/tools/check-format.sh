#!/usr/bin/env bash
# Checks that every .cpp and .h of src/ and tests/ (but the fuzz corpus) is laid out as
# .clang-format says; prints clang-format's complaints and exits 1 when a file drifts.
# Exits 77 (skipped) when clang-format-14 is not installed.
# Usage: tests/tools/check-format.sh [source-dir]
set -eu
top=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
# One version only: another one lays some constructs out differently.
format=clang-format-14
if ! command -v "$format" >/dev/null; then
    echo "format: $format is not installed (make test installs it)"
    exit 77
fi
cd "$top"
files=()
while IFS= read -r -d '' f; do files+=("$f"); done < <(
    find src tests -path tests/fuzz/corpus -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) \
        -print0 | sort -z)
if "$format" --dry-run --Werror "${files[@]}"; then
    echo "format: ${#files[@]} files as .clang-format lays them out"
else
    echo "format: run $format -i on the files above"
    exit 1
fi
