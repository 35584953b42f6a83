#!/usr/bin/env bash
# Installs what is missing, builds, and launches the desktop application.
# Files given as arguments are queued in its table.
set -euo pipefail
source "$(dirname "$0")/absolute-args.sh"
absolute_args "$@"
set -- ${args[@]+"${args[@]}"}
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DAURALUNE_BUILD_TESTS=OFF
exec build/src/auralune "$@"
