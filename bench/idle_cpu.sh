#!/usr/bin/env bash
# CPU used by the real Mirelo program left idle (its window shown, its 10 ms timer
# running) for SECONDS, next to a bare loop that only sleeps in poll() to each 10 ms mark (the
# floor of a 10 ms timer on this machine), to the same bare loop sleeping in epoll_wait() on
# one eventfd (what the kernel's side of the event wait adds to that floor) and to the
# framework's message loop with one 10 ms timer, read from /proc. All four are started
# together and take turns: each runs alone for a slice of 10 s while the others are stopped,
# round after round, so that they share the machine's load over the span but never wake in
# step with one another (two 10 ms timers in step make each wake-up dearer, by chance, by as
# much as a third on a virtual machine).
# Each line gives the whole span and the median of the slices. Use a build without
# sanitizers for figures. With --desktop Mirelo runs on a user's desktop: a session bus with a
# StatusNotifierWatcher on it, trayer and a sound server.
# Usage: bench/idle_cpu.sh [--desktop] BUILD_DIR [SECONDS=60] [PROGRAM=BUILD_DIR/src/app/mirelo]
set -euo pipefail
full_desktop=false
if [ "${1:-}" = --desktop ]; then
    full_desktop=true
    shift
fi
build=$(cd "${1:?usage: idle_cpu.sh [--desktop] BUILD_DIR [SECONDS] [PROGRAM]}" && pwd)
seconds=${2:-60}
program=${3:-$build/src/app/mirelo}
cmake --build "$build" --target idle_loop_bench >/dev/null
source "$(dirname "$0")/desktop.sh"
if $full_desktop; then bench_user_desktop "$build"; fi

# Time on a CPU of all threads of a process, in nanoseconds, from the scheduler's own
# accounting: the user and system times of /proc/PID/stat are sampled at the clock tick,
# too coarse for a program that runs a few microseconds every 10 ms.
ticks() { cat /proc/"$1"/task/*/schedstat | awk '{n += $1} END {printf "%d\n", n}'; }
hz=1000000000
# Times a thread of the process was given a CPU: about its wake-ups.
runs() { cat /proc/"$1"/task/*/schedstat | awk '{n += $3} END {printf "%d\n", n}'; }

"$program" >"$scratch/mirelo.log" 2>&1 &
mirelo=$!
bench_on_exit "kill -CONT $mirelo 2>/dev/null; kill $mirelo 2>/dev/null; wait $mirelo 2>/dev/null"
# Asked again rather than with --sync: xdotool gives up when a window it looks at goes away
# meanwhile, as the tray's do at start.
for _ in $(seq 400); do xdotool search --onlyvisible --name '^Mirelo$' >/dev/null 2>&1 && break; sleep 0.05; done
slice=10
rounds=$(((seconds + slice - 1) / slice))
span=$((4 * rounds * (slice + 1) + 30)) # long enough for the loops' own ends
"$build/bench/idle_loop_bench" poll $span >/dev/null &
bare=$!
bench_on_exit "kill $bare 2>/dev/null; wait $bare 2>/dev/null"
"$build/bench/idle_loop_bench" epoll $span >/dev/null &
bare_epoll=$!
bench_on_exit "kill $bare_epoll 2>/dev/null; wait $bare_epoll 2>/dev/null"
"$build/bench/idle_loop_bench" timer $span >/dev/null &
loop=$!
bench_on_exit "kill $loop 2>/dev/null; wait $loop 2>/dev/null"
sleep 2 # past start-up
programs=($mirelo $bare $bare_epoll $loop)
names=(mirelo bare_poll_10ms bare_epoll_10ms message_loop_10ms_timer)
for p in "${programs[@]}"; do kill -STOP "$p"; done
bench_on_exit "kill -CONT ${programs[*]} 2>/dev/null"
declare -A used woken wall slices
for ((r = 0; r < rounds; r++)); do
    for p in "${programs[@]}"; do
        kill -CONT "$p"
        sleep 1 # its missed ticks skipped, back to its cadence
        t0=$(ticks "$p") r0=$(runs "$p") w0=$(date +%s%N)
        sleep "$slice"
        t1=$(ticks "$p") r1=$(runs "$p") w1=$(date +%s%N)
        kill -STOP "$p"
        used[$p]=$((${used[$p]:-0} + t1 - t0))
        woken[$p]=$((${woken[$p]:-0} + r1 - r0))
        wall[$p]=$((${wall[$p]:-0} + w1 - w0))
        slices[$p]+="$(echo "scale=3; ($t1 - $t0) / 1000 / ($r1 - $r0)" | bc) "
    done
done
median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR] = $1} END {print NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
for i in "${!programs[@]}"; do
    p=${programs[$i]}
    printf '%s wall=%.1fs cpu=%.3fs share=%.3f%% runs_per_s=%.1f us_per_run=%.1f median_us_per_run=%.1f\n' \
        "program=${names[$i]}" "$(echo "${wall[$p]} / $hz" | bc -l)" "$(echo "${used[$p]} / $hz" | bc -l)" \
        "$(echo "100 * ${used[$p]} / ${wall[$p]}" | bc -l)" "$(echo "${woken[$p]} * $hz / ${wall[$p]}" | bc -l)" \
        "$(echo "${used[$p]} / 1000 / ${woken[$p]}" | bc -l)" "$(echo "${slices[$p]}" | median)"
done
