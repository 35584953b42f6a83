#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Auralune.
# Only what is missing is installed; runs apt-get through sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-translations-l10n
  libcli11-dev libflac-dev
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  sox libsox-fmt-all ffmpeg flac dbus-daemon
  libebur128-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
