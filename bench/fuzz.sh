#!/usr/bin/env bash
# Runs every libFuzzer target of a build (BUILD_DIR/tests/*_fuzz) for SECONDS each, one
# after the other, with memory limited to 512 MB, each on a scratch copy of its seeds, and
# prints one line per reader: its executions and whether it found a crash.
#
#   bench/fuzz.sh BUILD_DIR SECONDS [READER...]     e.g. bench/fuzz.sh build 600 icon region
#
# The build needs -DMIRELO_FUZZ=ON. A crash, leak, time-out or out-of-memory input is kept
# under BUILD_DIR/fuzz-scratch/READER/ and its path printed; the committed seeds in
# tests/fuzz/corpus are never written.
set -euo pipefail

if [[ $# -lt 2 ]]; then
    echo "usage: $0 BUILD_DIR SECONDS [READER...]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
seconds=$2
shift 2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
seeds=$source_dir/tests/fuzz/corpus
scratch_root=$build/fuzz-scratch

targets=()
if [[ $# -gt 0 ]]; then
    for reader in "$@"; do targets+=("$build/tests/${reader}_fuzz"); done
else
    for target in "$build"/tests/*_fuzz; do targets+=("$target"); done
fi
if [[ ${#targets[@]} -eq 0 || ! -x ${targets[0]} ]]; then
    echo "no fuzz targets in $build/tests (configure with -DMIRELO_FUZZ=ON)" >&2
    exit 2
fi

export LSAN_OPTIONS="suppressions=$source_dir/tests/lsan.supp"
found=0
for target in "${targets[@]}"; do
    reader=$(basename "$target" _fuzz)
    if [[ ! -x $target ]]; then
        echo "$reader: no target $target" >&2
        found=1
        continue
    fi
    work=$scratch_root/$reader
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts"
    if [[ -d $seeds/$reader ]]; then cp -R "$seeds/$reader/." "$work/corpus/"; fi

    # Entropic scheduling spends most of its time re-weighing features on targets that link
    # the whole framework (fifty times fewer executions); the plain schedule is used instead.
    status=0
    "$target" -max_total_time="$seconds" -rss_limit_mb=512 -malloc_limit_mb=512 \
        -max_len=65536 -timeout=25 -entropic=0 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1 || status=$?

    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
    artifacts=$(find "$work/artifacts" -type f | sort)
    if [[ $status -eq 0 && -z $artifacts ]]; then
        printf '%-18s executions=%-11s crash=no\n' "$reader" "${runs:-0}"
    else
        found=1
        # A crash ends the run before the final statistics; the last status line has the count.
        if [[ -z $runs ]]; then
            runs=$(grep -o '^#[0-9]*' "$work/log" | tail -n 1 | tr -d '#')
        fi
        printf '%-18s executions=%-11s crash=yes exit=%s %s (log %s)\n' "$reader" "${runs:-0}" \
            "$status" "$(echo "$artifacts" | tr '\n' ' ')" "$work/log"
    fi
done
exit $found
