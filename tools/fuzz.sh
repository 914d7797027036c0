#!/usr/bin/env bash
# Builds the relay fuzzer with clang, libFuzzer, ASan and UBSan in build-fuzz
# and runs it for FUZZ_SECONDS (60 by default) on a copy of fuzz/corpus, so
# the repository stays as it is. A crash, a leak or a broken rule fails the
# script; the input that did it is kept in build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
# clang for libFuzzer's compiler-rt, llvm for readable stack traces.
bash tools/setup-debian.sh clang libclang-rt-14-dev llvm-14

dir=build-fuzz
# Debug keeps Q_ASSERT; -O1 keeps a run fast enough to explore.
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DSOHBET_FUZZ=ON -DSOHBET_SANITIZE=ON -DSOHBET_TESTS=OFF \
    >/dev/null
cmake --build "$dir" -j"$(nproc)" --target relay_fuzzer

# The run grows its corpus in a temporary copy; after a failure the copy is
# kept in build-fuzz/corpus-failed for the rerun that finds the input.
corpus=$(mktemp -d)
keep_on_failure() {
    if [ $? -ne 0 ]; then
        rm -rf "$dir/corpus-failed" && mv "$corpus" "$dir/corpus-failed"
        echo "relay_fuzzer: failed; corpus kept in $dir/corpus-failed, inputs in $dir/crashes/"
    fi
    rm -rf "$corpus"
}
trap keep_on_failure EXIT
cp fuzz/corpus/* "$corpus"/
mkdir -p "$dir/crashes"

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
seconds=${FUZZ_SECONDS:-60}
echo "relay_fuzzer: ${seconds} s on $(ls fuzz/corpus | wc -l) seed inputs"
# Qt's font and style caches grow with every new text, which would make
# libFuzzer's per-input leak check rescan the heap on most inputs; leaks are
# still found by the sanitizer's check at exit, which fails the run. Rerun the
# kept corpus with -detect_leaks=1 -runs=0 to find the input that leaks.
"$dir/fuzz/relay_fuzzer" -max_total_time="$seconds" -timeout=10 -max_len=1024 -detect_leaks=0 \
    -print_final_stats=1 -artifact_prefix="$dir/crashes/" "$corpus"
echo "relay_fuzzer: no broken rule, crash or leak in ${seconds} s"
