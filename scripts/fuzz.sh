#!/usr/bin/env bash
# Builds the fuzzers with clang (ASan + UBSan) and runs each over its seed
# corpus for a bounded time: scripts/fuzz.sh [total seconds, default 120].
# The budget is split: 30 % to the whole analysis pass, 20 % each to the
# WAV and FLAC reader/writer round trips, 15 % each to the AIFF reader/writer
# and the processing-mark decoder.
# Exits non-zero when a fuzzer finds a crash; the input that caused it is
# left in the build directory as crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
build=${FUZZ_BUILD_DIR:-build-fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DAURALUNE_BUILD_FUZZERS=ON -DAURALUNE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target analysis_fuzzer wav_fuzzer aiff_fuzzer flac_fuzzer mark_fuzzer -j "$(nproc)"

# New inputs go to scratch copies, so the checked-in seeds stay as they are;
# in memory where possible (the analysis fuzzer writes a file per input).
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {   # fuzzer, seed folder, share of the budget in per cent
  local time=$(( seconds * $3 / 100 > 1 ? seconds * $3 / 100 : 1 ))
  mkdir -p "$work/$1"
  cp "fuzz/corpus/$2"/* "$work/$1"/
  echo "== $1 for $time s"
  # -rss_limit_mb bounds memory: no input may allocate much more than its
  # own size and one decoded stream.
  TMPDIR="$work" "$build/fuzz/$1" -max_total_time="$time" -max_len=65536 -timeout=10 -rss_limit_mb=1024 \
    -artifact_prefix="$build/$1-" -print_final_stats=1 "$work/$1"
}

run analysis_fuzzer wav 30
run wav_fuzzer wav 20
run flac_fuzzer flac 20
run aiff_fuzzer aiff 15
run mark_fuzzer mark 15
