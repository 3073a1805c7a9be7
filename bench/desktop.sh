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
