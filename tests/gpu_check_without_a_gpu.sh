#!/usr/bin/env bash
# bench/gpu_check.sh on a machine without a GPU: one line naming the reason and status 3, at
# once, with nothing built. Where a GPU answers, the script is the real check, not this test.
script=$1
if command -v nvidia-smi >/dev/null && nvidia-smi -L >/dev/null 2>&1; then exit 77; fi
output=$("$script" 2>&1)
status=$?
[ "$status" -eq 3 ] || { echo "status $status, not 3: $output"; exit 1; }
[ "$output" = "gpu_check: no usable GPU here (nvidia-smi finds none); nothing was run" ] ||
    { echo "unexpected output: $output"; exit 1; }
