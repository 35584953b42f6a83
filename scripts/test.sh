#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the tests once under AddressSanitizer and UndefinedBehaviorSanitizer (the
# engine, app and CLI; leaks included), bounded fuzzing runs (the WAV, AIFF
# and FLAC readers and writers, the whole analysis pass, the processing-mark
# decoder; two minutes in all), the queue and pass tests under
# ThreadSanitizer, and the whole suite of the normal build (desktop tests
# included).
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

# The queue, the pass locks, the worker pool, the processing pass and the
# concurrent conversions under ThreadSanitizer: one test binary, built alone.
tsan=${TSAN_BUILD_DIR:-build-tsan}
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DAURALUNE_BUILD_GUI=OFF -DAURALUNE_BUILD_TESTS=ON \
  -DCMAKE_CXX_FLAGS="-O1 -g -fsanitize=thread" >/dev/null
cmake --build "$tsan" -j "$(nproc)" --target concurrency_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$tsan/tests/concurrency_tests" \
  --gtest_filter='PassLock*:PassAdmission*:ProcessingPass*:QueueController*:BatchTest*:WorkerPool*:ConvertCommand.Concurrent*'

# A crash found by a fuzzer fails the suite.
scripts/fuzz.sh "${FUZZ_SECONDS:-120}"

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
