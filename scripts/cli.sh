#!/usr/bin/env bash
# Installs what is missing, builds, and runs the command-line tool.
# Arguments are passed to auralune-cli (default: --help).
set -euo pipefail
source "$(dirname "$0")/absolute-args.sh"
absolute_args "$@"
set -- ${args[@]+"${args[@]}"}
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DAURALUNE_BUILD_TESTS=OFF
if [ $# -eq 0 ]; then set -- --help; fi
exec build/src/auralune-cli "$@"
