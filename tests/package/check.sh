#!/usr/bin/env bash
# Builds the Debian package in a Release folder of its own and checks it: the files it holds,
# against the expected list and against what `cmake --install` installs; its dependencies,
# computed from the binary; lintian; the desktop entry, AppStream metadata and manual page
# as installed; and the program unpacked from it, showing its window on the test desktop.
# Usage: check.sh SOURCE_DIR WORK_DIR WINDOW_TEST
set -euo pipefail
export LC_ALL=C
src=$(cd "$1" && pwd)
work=$2
window_test=$3
build=$work/build
mkdir -p "$work"
work=$(cd "$work" && pwd)

started=$EPOCHREALTIME
say() { awk -v t0="$started" -v t1="$EPOCHREALTIME" -v m="$*" 'BEGIN { printf "package: %s (%.1f s)\n", m, t1 - t0 }'; }
fail() {
    echo "package: FAILED: $*" >&2
    exit 1
}
# Runs a step with its output in WORK/NAME.log, shown when it fails.
logged() {
    local name=$1
    shift
    if ! "$@" >"$work/$name.log" 2>&1; then
        tail -n 60 "$work/$name.log" >&2
        fail "$name: $*"
    fi
}

# A Release build with Debian's hardening flags, as a package build gets them; only the
# program and its compressed pages are built, not the whole tree.
cd "$src"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CFLAGS CXXFLAGS LDFLAGS
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
logged configure cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DMIRELO_TESTS=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}"
logged build cmake --build "$build" --target mirelo mirelo_data
say "built the program"

rm -f "$build"/*.deb
(cd "$build" && logged cpack cpack -G DEB)
debs=("$build"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "mirelo_${version}_${arch}.deb" ] ||
    fail "package file $(basename "$deb") is not named mirelo_${version}_${arch}.deb"
say "made $(basename "$deb"), $(stat -c %s "$deb") bytes"

# The files, their modes and owners, exactly as expected.
dpkg-deb -c "$deb" | awk '$NF !~ /\/$/ { print $1, $2, $6 }' | sort >"$work/files.txt"
grep -v '^#' "$src/tests/package/expected-files.txt" | sort >"$work/expected-files.txt"
diff -u "$work/expected-files.txt" "$work/files.txt" || fail "the package holds other files"
# ... and exactly what `cmake --install` puts on the system.
rm -rf "$work/stage"
DESTDIR="$work/stage" logged install cmake --install "$build" --prefix /usr
(cd "$work/stage" && find . ! -type d | sort) >"$work/installed.txt"
awk '{ print $3 }' "$work/files.txt" | sort | diff -u "$work/installed.txt" - ||
    fail "the package and the installation differ"
echo "package: files:"
sed 's/^/    /' "$work/files.txt"

# Dependencies computed from the binary's libraries.
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: Depends: $depends"
for lib in libc6 libasound2 libx11-6 libpng16-16; do
    grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

lintian --allow-root --display-info "$deb" >"$work/lintian.log" 2>&1 || true
echo "package: lintian:"
sed 's/^/    /' "$work/lintian.log"
! grep -q '^E:' "$work/lintian.log" || fail "lintian reports errors"
say "lintian done"

# The installed entry, metadata and page, as unpacked from the package.
rm -rf "$work/root"
dpkg-deb -x "$deb" "$work/root"
for entry in "$work"/root/usr/share/applications/*.desktop; do
    out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate $(basename "$entry"): $out"
done
for meta in "$work"/root/usr/share/metainfo/*.xml; do
    out=$(appstreamcli validate --no-net "$meta" 2>&1) || fail "appstreamcli: $out"
    ! grep -qE '^[EWI]: ' <<<"$out" || fail "appstreamcli $(basename "$meta"): $out"
done
out=$(man --warnings -l "$work/root/usr/share/man/man1/mirelo.1.gz" 2>&1 >/dev/null) || true
[ -z "$out" ] || fail "man --warnings: $out"
echo "package: desktop-file-validate, appstreamcli validate --no-net and man --warnings: clean"

# The program from the package, on the test desktop.
MIRELO_PACKAGED_ROOT="$work/root" MIRELO_SCREENSHOT="$work/screenshot.png" \
    "$window_test" || fail "the packaged program on the test desktop"
# The AppStream screenshot is what the program shows now.
differ=$(compare -metric AE "$src/data/screenshots/mirelo.png" "$work/screenshot.png" null: 2>&1) || true
[ "$differ" = 0 ] || fail "the window no longer looks like data/screenshots/mirelo.png" \
    "($differ pixels differ); if that is meant, copy $work/screenshot.png there"
say "checked"
