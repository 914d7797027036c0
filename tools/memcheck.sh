#!/usr/bin/env bash
# Runs the scripted whole-session test under valgrind memcheck: start, twenty
# clients on all four channels, chat, leave, stop. Fails on any memory error.
# Leaks are the sanitizer pass's business (LeakSanitizer, tests/lsan.supp);
# here only errors count, so Qt's and fontconfig's process-long caches do not.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh valgrind

dir=build
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j"$(nproc)" --target tst_session_e2e
export QT_QPA_PLATFORM=offscreen
exec valgrind --tool=memcheck --error-exitcode=3 --leak-check=no --track-origins=no \
    --num-callers=30 "$dir/tests/tst_session_e2e"
