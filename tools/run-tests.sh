#!/usr/bin/env bash
# Installs what is missing, builds and runs every test headless, whatever
# configured the build directory before (tools/run-window.sh shares build/);
# fails when no test ran.
# With SANITIZE=1 it builds in build-asan with AddressSanitizer and
# UndefinedBehaviorSanitizer, halting on the first error.
set -euo pipefail
cd "$(dirname "$0")/.."
# The browser test drives Debian's Chromium through its WebDriver.
bash tools/setup-debian.sh chromium chromium-driver python3-selenium

dir=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOHBET_TESTS=ON)
if [ "${SANITIZE:-0}" = 1 ]; then
    dir=build-asan
    flags=(-DCMAKE_BUILD_TYPE=Debug -DSOHBET_SANITIZE=ON -DSOHBET_TESTS=ON)
    export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure --no-tests=error -j"$(nproc)" --timeout 600
