#!/usr/bin/env bash
# A user-mode PulseAudio with two null sinks for end-to-end tests: what is played lands in
# "spk" (record spk.monitor), what is captured comes from "mic" (feed it with paplay -d mic).
# Everything lives under DIR; nothing touches the user's own sound setup.
#
#   sound_server.sh env DIR     print the environment clients need (eval it)
#   sound_server.sh run DIR     write the configuration and run the daemon in the foreground
#                               (exec: the caller's process id is the daemon's)
#   sound_server.sh wait DIR    wait until the daemon answers, then warm up both monitors
#   sound_server.sh start DIR   run in the background (pid in DIR/pid) and wait
#   sound_server.sh stop DIR    ask the daemon to exit, then end it by its pid
set -euo pipefail

cmd=${1:?usage: sound_server.sh env|run|wait|start|stop DIR}
dir=${2:?usage: sound_server.sh env|run|wait|start|stop DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

env_lines() {
    cat <<ENV
export HOME='$dir/home'
export XDG_RUNTIME_DIR='$dir/run'
export XDG_CONFIG_HOME='$dir/home/.config'
export XDG_CACHE_HOME='$dir/home/.cache'
export PULSE_CLIENTCONFIG='$dir/client.conf'
export PULSE_SERVER='unix:$dir/run/native'
ENV
}
eval "$(env_lines)"

case "$cmd" in
env)
    env_lines
    ;;
run)
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
    chmod 700 "$XDG_RUNTIME_DIR"
    echo "autospawn = no" >"$PULSE_CLIENTCONFIG"
    # The loopbacks of silence keep the null sinks rendering in small steps; without them
    # an idle null sink renders in 2 s blocks and new streams stall.
    cat >"$dir/daemon.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/run/native
load-module module-null-sink sink_name=spk rate=22050 channels=1 format=s16le
load-module module-null-sink sink_name=mic rate=22050 channels=1 format=s16le
load-module module-null-source source_name=silence rate=22050 channels=1 format=s16le
load-module module-loopback source=silence sink=mic latency_msec=30 source_dont_move=true sink_dont_move=true
load-module module-loopback source=silence sink=spk latency_msec=30 source_dont_move=true sink_dont_move=true
set-default-sink spk
set-default-source mic.monitor
PA
    exec pulseaudio -n -F "$dir/daemon.pa" --daemonize=no --exit-idle-time=-1 \
        --log-target="file:$dir/pulseaudio.log"
    ;;
wait)
    for _ in $(seq 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    pactl info >/dev/null 2>&1 || { echo "sound server in $dir does not answer" >&2; exit 1; }
    # Right after the start the first capture from a monitor stalls; read a little first.
    for src in mic.monitor spk.monitor; do
        timeout 10 pacat -r -d "$src" --raw --latency-msec=10 | head -c 4410 >/dev/null || true
    done
    ;;
start)
    "$0" run "$dir" </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/pid"
    "$0" wait "$dir"
    ;;
stop)
    pactl exit >/dev/null 2>&1 || true
    if [ -f "$dir/pid" ]; then
        pid=$(cat "$dir/pid")
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        rm -f "$dir/pid"
    fi
    ;;
*)
    echo "unknown command $cmd" >&2
    exit 2
    ;;
esac
