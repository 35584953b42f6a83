#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DAURALUNE_BUILD_TESTS=ON

# A bounded fuzzing run of the WAV reader; a crash fails the suite.
scripts/fuzz.sh "${FUZZ_SECONDS:-60}"

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
