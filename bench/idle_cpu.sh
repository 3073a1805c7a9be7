#!/usr/bin/env bash
# CPU used by an idle real message loop with a 10 ms timer, against the same loop with no
# timer. Usage: bench/idle_cpu.sh BUILD_DIR [SECONDS=60]
set -euo pipefail
build=${1:?build folder}
seconds=${2:-60}
cmake --build "$build" --target idle_loop_bench >/dev/null
"$build/bench/idle_loop_bench" none "$seconds"
"$build/bench/idle_loop_bench" timer "$seconds"
