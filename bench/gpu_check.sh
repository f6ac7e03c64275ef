#!/usr/bin/env bash
# The checks that need a real GPU, in one call: builds the cuda variant, runs the tests with
# KELVANE_REQUIRE_GPU=1, runs kelvane into a file and checks it with kelvane-verify --table,
# then runs kelvane-verify's default run, --sizes 10:24 and --suite quick. Every result lands in one folder, with a summary that names each step: passed,
# failed, or skipped with the reason. GPU nodes are often offline with a bare image (the CUDA
# toolkit, CMake and a compiler), so the libraries the build needs come from Debian packages
# that --fetch downloads beforehand, on a machine with network, into .gpu-deps/.
#
#   bench/gpu_check.sh --fetch          download the packages into .gpu-deps/ (needs apt-get)
#   bench/gpu_check.sh [results folder] the check; default gpu-results/<UTC time>
#
# Exit status: 0 when every step that ran passed, 1 when one failed, 3 without a usable GPU
# (said within seconds), 2 for a usage error.
set -uo pipefail
cd "$(dirname "$0")/.."
deps=.gpu-deps
packages=(libfftw3-dev libfftw3-bin libfftw3-double3 libfftw3-long3 libfftw3-quad3
          libfftw3-single3 libgtest-dev googletest libbenchmark-dev libbenchmark1debian
          nlohmann-json3-dev libcli11-dev libpng-dev libpng16-16)

if [ "${1:-}" = "--fetch" ]; then
    mkdir -p "$deps"
    (cd "$deps" && apt-get download "${packages[@]}") || { echo "gpu_check: apt-get download failed" >&2; exit 1; }
    echo "gpu_check: $(ls "$deps"/*.deb | wc -l) packages in $deps; copy the repository with it to the GPU node"
    exit 0
fi
case "${1:-}" in -*) echo "usage: bench/gpu_check.sh [--fetch | results folder]" >&2; exit 2 ;; esac

if ! command -v nvidia-smi >/dev/null || ! timeout 20 nvidia-smi -L >/dev/null 2>&1; then
    echo "gpu_check: no usable GPU here (nvidia-smi finds none); nothing was run" >&2
    exit 3
fi

results=${1:-gpu-results/$(date -u +%Y%m%dT%H%M%SZ)}
mkdir -p "$results"
summary="$results/summary.txt"
: > "$summary"
failed=0
note() { echo "$*" | tee -a "$summary"; }
# step NAME COMMAND...: runs it with its output in NAME.log, and says how it ended.
step() {
    local name=$1
    shift
    local start=$SECONDS
    if "$@" > "$results/$name.log" 2>&1; then
        note "passed   $name ($((SECONDS - start)) s)"
    else
        note "FAILED   $name (status $?, $((SECONDS - start)) s; see $name.log)"
        failed=1
    fi
}
skip() { note "skipped  $1: $2"; }

nvidia-smi > "$results/nvidia-smi.txt" 2>&1
note "gpu_check: $(nvidia-smi -L | head -1); commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"

# The Debian packages, unpacked into a private prefix that the build searches first.
prefix_args=()
if compgen -G "$deps/*.deb" > /dev/null; then
    root="$deps/root"
    rm -rf "$root"
    for package in "$deps"/*.deb; do dpkg-deb -x "$package" "$root"; done
    library_dir="$PWD/$root/usr/lib/$(uname -m)-linux-gnu"
    export LD_LIBRARY_PATH="$library_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
    prefix_args=(-DCMAKE_PREFIX_PATH="$PWD/$root/usr" -DCMAKE_INCLUDE_PATH="$PWD/$root/usr/include"
                 -DCMAKE_LIBRARY_PATH="$library_dir")
    note "packages from $deps unpacked into $root"
fi
command -v gfortran >/dev/null || skip "Fortran clients" "no gfortran on this node"
command -v chromium-headless-shell >/dev/null || skip "rendered picture" "no headless Chromium on this node"

build=build/gpu-check
jobs=$(nproc)
step configure cmake -S . -B "$build" -G "$(command -v ninja >/dev/null && echo Ninja || echo 'Unix Makefiles')" \
    -DCMAKE_BUILD_TYPE=Release -DKELVANE_DEVICE=cuda -DBUILD_TESTING=ON "${prefix_args[@]}"
step build cmake --build "$build" -j "$jobs"
if [ "$failed" = 0 ]; then
    step tests env KELVANE_REQUIRE_GPU=1 ctest --test-dir "$build" -j "$jobs" --output-on-failure
    step kelvane sh -c "\"$build/kelvane\" > \"$results/table.txt\""
    step verify_table "$build/kelvane-verify" --table "$results/table.txt" --json "$results/table.json"
    step verify_default "$build/kelvane-verify" --json "$results/default.json" --svg "$results/default.svg"
    step verify_sizes "$build/kelvane-verify" --sizes 10:24 --json "$results/sizes.json" --csv "$results/sizes.csv"
    step verify_suite "$build/kelvane-verify" --suite quick --json "$results/suite.json" \
        --csv "$results/suite.csv"
else
    skip "tests and runs" "the build did not complete"
fi
note "results in $results"
exit "$failed"
