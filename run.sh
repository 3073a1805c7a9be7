#!/usr/bin/env bash
# Installs what is missing, builds Mirelo and starts it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh run
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELO_TESTS=OFF
cmake --build build-release --target mirelo
exec build-release/src/app/mirelo "$@"
