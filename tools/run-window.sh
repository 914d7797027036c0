#!/usr/bin/env bash
# Installs what is missing, builds and starts the operator window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOHBET_TESTS=OFF >/dev/null
cmake --build build --target sohbet-sunucu
exec ./build/src/sohbet-sunucu
