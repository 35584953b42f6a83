#!/usr/bin/env bash
# Builds the fuzzers with clang (ASan + UBSan) and runs each over its seed
# corpus for a bounded time: scripts/fuzz.sh [total seconds, default 120].
# The budget is split: half to the whole analysis pass, a third to the WAV
# reader/writer round trip, the rest to the processing-mark decoder.
# Exits non-zero when a fuzzer finds a crash; the input that caused it is
# left in the build directory as crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
build=${FUZZ_BUILD_DIR:-build-fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DAURALUNE_BUILD_FUZZERS=ON -DAURALUNE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target wav_fuzzer analysis_fuzzer mark_fuzzer -j "$(nproc)"

# New inputs go to scratch copies, so the checked-in seeds stay as they are;
# in memory where possible (the analysis fuzzer writes a file per input).
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {   # fuzzer, seed folder, seconds
  mkdir -p "$work/$1"
  cp "fuzz/corpus/$2"/* "$work/$1"/
  echo "== $1 for $3 s"
  TMPDIR="$work" "$build/fuzz/$1" -max_total_time="$3" -max_len=65536 -timeout=10 \
    -artifact_prefix="$build/$1-" -print_final_stats=1 "$work/$1"
}

analysis=$((seconds / 2))
wav=$((seconds / 3))
run analysis_fuzzer wav "$analysis"
run wav_fuzzer wav "$wav"
run mark_fuzzer mark "$((seconds - analysis - wav > 1 ? seconds - analysis - wav : 1))"
