#!/usr/bin/env bash
# Time from the R key to the first sample of Mirelo's take, median of RUNS, next to arecord
# started at a known moment on the same capture device, in the same run. A private Xvfb with
# openbox and a user PulseAudio whose microphone hears a signal that tells the time of each
# of its samples (see take_latency.cpp). Use a build without sanitizers for figures.
# Usage: bench/take_latency.sh BUILD_DIR [RUNS=10] [PROGRAM=BUILD_DIR/src/app/mirelo]
set -euo pipefail
build=$(cd "${1:?usage: take_latency.sh BUILD_DIR [RUNS] [PROGRAM]}" && pwd)
runs=${2:-10}
program=${3:-$build/src/app/mirelo}
cmake --build "$build" --target take_latency_bench >/dev/null
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")/.." && pwd)/tests/lsan.supp}
source "$(dirname "$0")/desktop.sh"
"$build/bench/take_latency_bench" "$runs" "$program"
