#!/usr/bin/env bash
# Builds the WAV, AIFF and FLAC fuzzers with clang (ASan + UBSan) and runs
# each over its seed corpus for a bounded time: scripts/fuzz.sh [seconds,
# default 60, shared among the three]. Exits non-zero when a fuzzer finds a
# crash; the input that caused it is left in the build directory as crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
fuzzers=(wav aiff flac)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DAURALUNE_BUILD_FUZZERS=ON -DAURALUNE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target "${fuzzers[@]/%/_fuzzer}" -j "$(nproc)"

for name in "${fuzzers[@]}"; do
  # New inputs go to a scratch copy, so the checked-in seeds stay as they are.
  work=$(mktemp -d)
  cp fuzz/corpus/"$name"/* "$work"/
  # -rss_limit_mb bounds memory: no input may allocate much more than its
  # own size and one decoded stream.
  "$build"/fuzz/"$name"_fuzzer -max_total_time=$(( (seconds + ${#fuzzers[@]} - 1) / ${#fuzzers[@]} )) \
    -max_len=65536 -timeout=10 -rss_limit_mb=1024 -artifact_prefix="$build"/ -print_final_stats=1 "$work" \
    || { rm -rf "$work"; exit 1; }
  rm -rf "$work"
done
