#!/usr/bin/env bash
# Builds the WAV fuzzer with clang (ASan + UBSan) and runs it over its seed
# corpus for a bounded time: scripts/fuzz.sh [seconds, default 60].
# Exits non-zero when the fuzzer finds a crash; the input that caused it is
# left in the build directory as crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DAURALUNE_BUILD_FUZZERS=ON -DAURALUNE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target wav_fuzzer -j "$(nproc)"

# New inputs go to a scratch copy, so the checked-in seeds stay as they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp fuzz/corpus/wav/* "$work"/
"$build"/fuzz/wav_fuzzer -max_total_time="$seconds" -max_len=65536 -timeout=10 \
  -artifact_prefix="$build"/ -print_final_stats=1 "$work"
