#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the tests once under AddressSanitizer and UndefinedBehaviorSanitizer (the
# engine, app and CLI; leaks included), bounded fuzzing runs (the WAV, AIFF
# and FLAC readers and writers, the whole analysis pass, the processing-mark
# decoder; two minutes in all), and the whole suite of the normal build
# (desktop tests included).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DAURALUNE_BUILD_TESTS=ON -DAURALUNE_BUILD_BENCHMARKS=ON   # benchmarks are built, not run

asan=${ASAN_BUILD_DIR:-build-asan}
cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DAURALUNE_BUILD_GUI=OFF -DAURALUNE_BUILD_TESTS=ON \
  -DCMAKE_CXX_FLAGS="-O1 -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
  >/dev/null
cmake --build "$asan" -j "$(nproc)"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$asan" --output-on-failure -j "$(nproc)"

# A crash found by a fuzzer fails the suite.
scripts/fuzz.sh "${FUZZ_SECONDS:-120}"

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
