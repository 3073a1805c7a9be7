#!/usr/bin/env bash
# How long a command to the running Mirelo takes, from the sender's start to its exit once
# the holder has acted (`mirelo --stop`, `mirelo --show`), and how long a sender waits for a
# holder that cannot answer (stopped with SIGSTOP) before it gives up. On a private Xvfb with
# openbox; no sound server is needed. Ends with one median line per figure, in milliseconds.
# Usage: bench/command_latency.sh BUILD_DIR [RUNS=10]
set -euo pipefail
build=$(cd "${1:?usage: command_latency.sh BUILD_DIR [RUNS]}" && pwd)
runs=${2:-10}
program=$build/src/app/mirelo
source "$(dirname "$0")/desktop.sh"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$scratch/no-bus
"$program" 2>/dev/null &
holder=$!
bench_on_exit "kill -CONT $holder 2>/dev/null; kill $holder 2>/dev/null; wait $holder 2>/dev/null"
for _ in $(seq 200); do xdotool search --onlyvisible --name '^Mirelo$' >/dev/null 2>&1 && break; sleep 0.05; done
ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s%N); echo $(((e - s) / 1000000)); }
median() { sort -n | awk '{a[NR] = $1} END {print NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
for verb in stop show; do
    echo "median command=--$verb ms=$(for _ in $(seq "$runs"); do ms "$program" --$verb; done | median)"
done
kill -STOP $holder
echo "median command=--stop holder=stopped ms=$(for _ in $(seq 3); do ms "$program" --stop; done | median)"
