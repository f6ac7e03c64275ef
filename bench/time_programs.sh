#!/usr/bin/env bash
# Times the delivered programs as processes, start to exit, with hyperfine (Debian's package):
# kelvane to /dev/null, kelvane-verify's default run, its table check, a sweep of 2^10 to 2^22
# and its quick suite, all in one run; prints each median and range, then the peak resident
# memory, then the peak of single cases of growing size (bytes an element and the fixed part).
# With --full it also times the full suite once.
# Build first: cmake --workflow --preset release.
#
#   bench/time_programs.sh [build folder, default build/release] [runs, default 10]
set -euo pipefail
full=false
if [[ ${1:-} == --full ]]; then full=true; shift; fi
build=${1:-build/release}
runs=${2:-10}
command -v hyperfine >/dev/null || { echo "hyperfine is not installed (apt-get install hyperfine)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/kelvane" > "$work/table.txt"

# Median and range of each command, from hyperfine's JSON.
report() {
    tr ',' '\n' < "$1" | grep -E '"(command|median|min|max)"' | sed 's/^ *//' |
        awk -F': ' '/"command"/ { name = $2 } /"median"/ { median = $2 } /"min"/ { low = $2 }
                    /"max"/ { printf "%-34s median %8.4f s  (%.4f to %.4f s)\n", name, median, low, $2 }'
}

hyperfine --runs "$runs" --warmup 1 --style none --export-json "$work/short.json" \
    -n kelvane "$build/kelvane > /dev/null" \
    -n "kelvane-verify" "$build/kelvane-verify > /dev/null" \
    -n "kelvane-verify --table" "$build/kelvane-verify --table $work/table.txt > /dev/null"
hyperfine --runs 3 --style none --export-json "$work/sweep.json" \
    -n "kelvane-verify --sizes 10:22" "$build/kelvane-verify --sizes 10:22 > /dev/null" \
    -n "kelvane-verify --suite quick" "$build/kelvane-verify --suite quick > /dev/null"
report "$work/short.json"
report "$work/sweep.json"
if $full; then
    hyperfine --runs 1 --style none --export-json "$work/full.json" \
        -n "kelvane-verify --suite full" "$build/kelvane-verify --suite full > /dev/null"
    report "$work/full.json"
fi
for program in kelvane kelvane-verify; do
    /usr/bin/time -f "$program: peak resident memory %M KiB" "$build/$program" > /dev/null
done
# A case's peak against its elements: c2c cases of 2^16 to 2^22 elements.
for log2 in 16 18 20 22; do
    /usr/bin/time -f "kelvane-verify --shape $((1 << log2)): peak resident memory %M KiB" \
        "$build/kelvane-verify" --shape $((1 << log2)) > /dev/null
done
