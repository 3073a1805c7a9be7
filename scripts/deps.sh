#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those that are missing.
# Usage: scripts/deps.sh run|test
set -euo pipefail
build=(cmake ninja-build g++ pkg-config libpng-dev libfreetype-dev libfontconfig-dev
       fonts-dejavu-core libx11-dev libxext-dev libxrandr-dev libasound2-dev libsystemd-dev)
test=(clang libclang-rt-14-dev googletest libgtest-dev
      xvfb openbox trayer xdotool x11-utils x11-apps x11-xserver-utils imagemagick
      pulseaudio pulseaudio-utils libasound2-plugins alsa-utils sox dbus-daemon
      dpkg-dev lintian desktop-file-utils appstream man-db)
want=("${build[@]}")
[ "${1:-run}" = test ] && want+=("${test[@]}")
missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
