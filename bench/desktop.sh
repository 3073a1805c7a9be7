# Sourced by the benchmark scripts: a private Xvfb (1024 x 768) with openbox, and HOME and
# the XDG folders in a scratch folder, so that nothing of the user's own session is used.
# Sets DISPLAY, HOME, XDG_*, and $scratch; stops everything it started on exit. Scripts add
# their own clean-up with bench_on_exit.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/mirelo-bench.XXXXXX")
export HOME=$scratch/home XDG_CACHE_HOME=$scratch/cache XDG_CONFIG_HOME=$scratch/config
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME" "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
bench_exit_steps=()
bench_on_exit() { bench_exit_steps+=("$1"); }
bench_cleanup() {
    local i
    for ((i = ${#bench_exit_steps[@]} - 1; i >= 0; i--)); do eval "${bench_exit_steps[i]}" || true; done
    rm -rf "$scratch"
}
trap bench_cleanup EXIT
cat >"$scratch/rc.xml" <<'RC'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <desktops><number>1</number></desktops><keyboard></keyboard><mouse></mouse>
</openbox_config>
RC
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$scratch/display" 2>/dev/null &
bench_xvfb=$!
bench_on_exit "kill $bench_xvfb 2>/dev/null; wait $bench_xvfb 2>/dev/null"
for _ in $(seq 200); do [ -s "$scratch/display" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n1 "$scratch/display")
openbox --config-file "$scratch/rc.xml" >/dev/null 2>&1 &
bench_wm=$!
bench_on_exit "kill $bench_wm 2>/dev/null; wait $bench_wm 2>/dev/null"
for _ in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done

# A user's desktop on top: a session bus with a StatusNotifierWatcher on it (the test one, from
# BUILD_DIR), trayer as the tray host and a sound server. Usage: bench_user_desktop BUILD_DIR
bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bench_user_desktop() {
    local build=$1 bus watcher tray sound
    cmake --build "$build" --target sni_watcher_bench >/dev/null
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$scratch/bus
    dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" \
        >/dev/null 2>&1 &
    bus=$!
    bench_on_exit "kill $bus 2>/dev/null; wait $bus 2>/dev/null"
    for _ in $(seq 100); do [ -S "$scratch/bus" ] && break; sleep 0.05; done
    "$build/bench/sni_watcher_bench" >"$scratch/watcher.log" 2>&1 &
    watcher=$!
    bench_on_exit "kill $watcher 2>/dev/null; wait $watcher 2>/dev/null"
    for _ in $(seq 100); do grep -q ready "$scratch/watcher.log" && break; sleep 0.05; done
    grep -q ready "$scratch/watcher.log" || { echo "the watcher did not start" >&2; exit 1; }
    trayer --edge bottom --align right --widthtype pixel --width 120 --heighttype pixel \
        --height 24 >/dev/null 2>&1 &
    tray=$!
    bench_on_exit "kill $tray 2>/dev/null; wait $tray 2>/dev/null"
    for _ in $(seq 100); do
        xwininfo -root -tree 2>/dev/null | grep -qi trayer && break
        sleep 0.05
    done
    sound=$scratch/sound
    "$bench_dir/../tests/e2e/sound_server.sh" start "$sound" >/dev/null 2>&1
    bench_on_exit "'$bench_dir/../tests/e2e/sound_server.sh' stop '$sound'"
    export PULSE_SERVER=unix:$sound/run/native PULSE_CLIENTCONFIG=$sound/client.conf
}
