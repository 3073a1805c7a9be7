#!/usr/bin/env bash
# Time from start to the first painted frame, and resident (RSS) and proportional (Pss)
# memory, of the whole Mirelo program (its main window with all its components, idle after
# one second) next to xclock, started the same way on the same private Xvfb with openbox,
# alternately, in one run. With --desktop the desktop is a user's: a session bus with a
# StatusNotifierWatcher on it, trayer as the tray host and a sound server.
# Ends with one median line per program and Mirelo's five largest mappings (Pss, KiB) of
# the last run. Use a build without sanitizers for figures.
# With XFT_DPI set (192 for a desktop at 200 %), it is loaded into the root window's resources
# first, as high-density desktops do: Mirelo then draws at scale 2.
# Usage: [XFT_DPI=N] [FIRST_START=1] bench/startup.sh [--desktop] BUILD_DIR [RUNS=5] [PROGRAM=BUILD_DIR/src/app/mirelo]
set -euo pipefail
full_desktop=false
if [ "${1:-}" = --desktop ]; then
    full_desktop=true
    shift
fi
build=$(cd "${1:?usage: startup.sh [--desktop] BUILD_DIR [RUNS] [PROGRAM]}" && pwd)
runs=${2:-5}
program=${3:-$build/src/app/mirelo}
here=$(cd "$(dirname "$0")" && pwd)
cmake --build "$build" --target first_frame_bench sni_watcher_bench >/dev/null
source "$here/desktop.sh"
if [[ -n ${XFT_DPI:-} ]]; then
    echo "Xft.dpi: $XFT_DPI" | xrdb -merge
    echo "resources: $(xrdb -query | tr '\n' ' ')"
fi
results=$scratch/results

if $full_desktop; then bench_user_desktop "$build"; fi

# A user's start finds the settings of the last one: one start, not counted, writes them.
# With FIRST_START=1 every start is a first start instead, which writes its defaults.
rm -rf "$XDG_CONFIG_HOME/mirelo"
"$build/bench/first_frame_bench" 1000 "$program" >/dev/null
for _ in $(seq "$runs"); do
    if [[ -n ${FIRST_START:-} ]]; then rm -rf "$XDG_CONFIG_HOME/mirelo"; fi
    "$build/bench/first_frame_bench" 1000 "$program" | tee -a "$results"
    "$build/bench/first_frame_bench" 1000 xclock | tee -a "$results"
done
# The median of each figure, per program.
for p in "$program" xclock; do
    line="median program=$p"
    for field in mapped_ms first_frame_ms rss_kib pss_kib; do
        m=$(grep "^program=$p " "$results" | sed -n "s/.* $field=\([0-9.]*\).*/\1/p" | sort -n |
            awk '{a[NR] = $1} END {print NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}')
        line+=" $field=$m"
    done
    echo "$line"
done
grep "^mappings program=$program " "$results" | tail -n1
