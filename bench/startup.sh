#!/usr/bin/env bash
# Time from start to the first painted frame, and resident memory, of Mirelo next to
# xclock, started the same way on the same X server (a private Xvfb with openbox) in one
# run. Usage: bench/startup.sh BUILD_DIR [RUNS=5] [PROGRAM=BUILD_DIR/src/app/mirelo]
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
runs=${2:-5}
program=${3:-$build/src/app/mirelo}
cmake --build "$build" --target first_frame_bench >/dev/null
scratch=$(mktemp -d)
export HOME=$scratch XDG_CACHE_HOME=$scratch/cache XDG_CONFIG_HOME=$scratch/config
mkdir -p "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME"
cat > "$scratch/rc.xml" <<'RC'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <desktops><number>1</number></desktops><keyboard></keyboard><mouse></mouse>
</openbox_config>
RC
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$scratch/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n1 "$scratch/display")
openbox --config-file "$scratch/rc.xml" >/dev/null 2>&1 &
wm=$!
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.05; done
trap 'kill $wm $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$scratch"' EXIT
for i in $(seq "$runs"); do
    "$build/bench/first_frame_bench" 1000 "$program"
    "$build/bench/first_frame_bench" 1000 xclock
done
