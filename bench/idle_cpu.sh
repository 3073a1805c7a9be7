#!/usr/bin/env bash
# CPU used by the real Mirelo program left idle (its window shown, its 10 ms timer
# running) for SECONDS, next to a bare loop that only sleeps in poll() to each 10 ms mark (the
# floor of a 10 ms timer on this machine) and to the framework's message loop with one 10 ms
# timer; all three run side by side in the same span and are read from /proc, so they share
# the machine's load. Use a build without sanitizers for figures.
# Usage: bench/idle_cpu.sh BUILD_DIR [SECONDS=60] [PROGRAM=BUILD_DIR/src/app/mirelo]
set -euo pipefail
build=$(cd "${1:?usage: idle_cpu.sh BUILD_DIR [SECONDS] [PROGRAM]}" && pwd)
seconds=${2:-60}
program=${3:-$build/src/app/mirelo}
cmake --build "$build" --target idle_loop_bench >/dev/null
source "$(dirname "$0")/desktop.sh"

# Time on a CPU of all threads of a process, in nanoseconds, from the scheduler's own
# accounting: the user and system times of /proc/PID/stat are sampled at the clock tick,
# too coarse for a program that runs a few microseconds every 10 ms.
ticks() { cat /proc/"$1"/task/*/schedstat | awk '{n += $1} END {printf "%d\n", n}'; }
hz=1000000000
# Times a thread of the process was given a CPU: about its wake-ups.
runs() { cat /proc/"$1"/task/*/schedstat | awk '{n += $3} END {printf "%d\n", n}'; }

"$program" >"$scratch/mirelo.log" 2>&1 &
mirelo=$!
bench_on_exit "kill $mirelo 2>/dev/null; wait $mirelo 2>/dev/null"
timeout 20 xdotool search --sync --onlyvisible --name '^Mirelo$' >/dev/null
"$build/bench/idle_loop_bench" poll $((seconds + 5)) >/dev/null &
bare=$!
bench_on_exit "kill $bare 2>/dev/null; wait $bare 2>/dev/null"
"$build/bench/idle_loop_bench" timer $((seconds + 5)) >/dev/null &
loop=$!
bench_on_exit "kill $loop 2>/dev/null; wait $loop 2>/dev/null"
sleep 2 # past start-up
declare -A before before_runs
for p in $mirelo $bare $loop; do
    before[$p]=$(ticks $p)
    before_runs[$p]=$(runs $p)
done
start=$(date +%s.%N)
sleep "$seconds"
wall=$(echo "$(date +%s.%N) - $start" | bc)
report() {
    local used=$(($(ticks "$2") - before[$2]))
    local woken=$(($(runs "$2") - before_runs[$2]))
    printf '%s wall=%.1fs cpu=%.3fs share=%.3f%% runs_per_s=%.1f us_per_run=%.1f\n' "$1" \
        "$wall" "$(echo "$used / $hz" | bc -l)" "$(echo "100 * $used / $hz / $wall" | bc -l)" \
        "$(echo "$woken / $wall" | bc -l)" "$(echo "$used / 1000 / $woken" | bc -l)"
}
report "program=mirelo" $mirelo
report "program=bare_poll_10ms" $bare
report "program=message_loop_10ms_timer" $loop
