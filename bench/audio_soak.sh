#!/usr/bin/env bash
# Capture and playback through the audio components on the real sound back end for
# SECONDS, while two low-priority busy loops load the cores. ALSA's default device is used
# as the environment gives it; without PULSE_SERVER the script runs its own PulseAudio
# (tests/e2e/sound_server.sh), feeds the microphone a count and records the speaker, so
# that every sample captured and played can be checked. Ends with "blocks=N lost=N xruns=N".
# Usage: bench/audio_soak.sh BUILD_DIR SECONDS
set -euo pipefail
build=${1:?usage: audio_soak.sh BUILD_DIR SECONDS}
seconds=${2:?usage: audio_soak.sh BUILD_DIR SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)
server_script="$root/tests/e2e/sound_server.sh"

cmake --build "$build" --target audio_soak >/dev/null
bin="$(cd "$build" && pwd)/bench/audio_soak"
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp}

work=$(mktemp -d "${TMPDIR:-/tmp}/audio-soak.XXXXXX")
pids=()
own_server=
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    if [ -n "$own_server" ]; then bash "$server_script" stop "$work/server" >/dev/null 2>&1 || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

args=(run "$seconds")
if [ -z "${PULSE_SERVER:-}" ]; then
    own_server=1
    eval "$(bash "$server_script" env "$work/server")"
    bash "$server_script" start "$work/server" >/dev/null 2>&1
    "$bin" ramp "$work/count.wav" $((seconds + 30))
    paplay -d mic "$work/count.wav" &
    pids+=($!)
    pacat -r -d spk.monitor --rate=22050 --channels=1 --format=s16le --raw --latency-msec=20 \
        >"$work/heard.raw" &
    pids+=($!)
    sleep 0.5
    args+=(--ramp --heard "$work/heard.raw")
fi
for _ in 1 2; do
    nice -n 19 bash -c 'while :; do :; done' &
    pids+=($!)
done
"$bin" "${args[@]}"
