#!/usr/bin/env bash
# Takes docs/screenshot.png: the desktop app on a virtual X server, with a
# fresh HOME and a few generated files queued from its command line.
#
# The app takes the picture itself: with AURALUNE_SCREENSHOT=<png> set, the
# main window saves a grab of itself there AURALUNE_SCREENSHOT_DELAY_MS after
# it is shown and quits.
#
# Usage: scripts/screenshot.sh [output.png]   (BUILD_DIR, DELAY_MS override)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
app="$build/src/auralune"
out="$(realpath -m "${1:-$root/docs/screenshot.png}")"
delay_ms="${DELAY_MS:-4000}"

if [ ! -x "$app" ]; then
  echo "screenshot.sh: $app is missing; build the desktop app first (scripts/build.sh)" >&2
  exit 1
fi
for tool in xvfb-run sox; do
  if ! command -v "$tool" >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    package="$tool"
    [ "$tool" = xvfb-run ] && package=xvfb
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$package"
  fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/Music" "$work/home/.config" "$work/runtime" "$work/files"
chmod 700 "$work/runtime"

# A few short needle-drops, converted with the RIAA curve and the default
# restoration chain (mode 2, Enhancement 1 "Phonograph EQ A1 (RIAA)").
sox -n -r 44100 -b 16 -c 2 "$work/files/Nocturne in E flat.wav" synth 20 sine 311 sine 466 pinknoise gain -24
sox -n -r 96000 -b 24 -c 2 "$work/files/Side A - Étude.wav" synth 12 sine 220 pinknoise gain -20
sox -n -r 48000 -b 16 -c 2 "$work/files/Field recording.wav" synth 8 brownnoise gain -18
sox -n -r 192000 -b 24 -c 2 "$work/files/Quad test tones.wav" synth 5 sine 1000 sine 1200 gain -6
mkdir -p "$work/home/.config/Auralune"
printf '[General]\nMode=2\nFilterType_1=2048\nFilterTypeDefaults_1=1, 1, 2048, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1\n' > "$work/home/.config/Auralune/Auralune.ini"

mkdir -p "$(dirname "$out")"
rm -f "$out"
bus=()
command -v dbus-run-session >/dev/null && bus=(dbus-run-session --)

env -u DBUS_SESSION_BUS_ADDRESS \
  HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime" \
  XDG_MUSIC_DIR="$work/home/Music" QT_QPA_PLATFORM=xcb \
  AURALUNE_SCREENSHOT="$out" AURALUNE_SCREENSHOT_DELAY_MS="$delay_ms" \
  timeout 120 xvfb-run -a -s "-screen 0 1400x900x24" "${bus[@]}" "$app" "$work"/files/*

if [ ! -s "$out" ]; then
  echo "screenshot.sh: the app wrote no picture to $out" >&2
  exit 1
fi
echo "$out"
