#!/usr/bin/env bash
# Installs what is missing, builds and starts the operator window. Needs no
# root: only installing asks for sudo. Shares build/ with tools/run-tests.sh
# and builds only the program, leaving the tests' setting as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target sohbet-sunucu
exec ./build/src/sohbet-sunucu
