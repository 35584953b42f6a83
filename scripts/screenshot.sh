#!/usr/bin/env bash
# Takes docs/screenshot.png (mid-batch), docs/screenshot-dark.png (the same
# with a dark palette) and docs/preferences.png: the desktop app on a virtual
# X server, with a fresh HOME and a few generated files queued from its
# command line.
#
# The app takes the picture itself: with AURALUNE_SCREENSHOT=<png> set, the
# main window saves a grab of itself there AURALUNE_SCREENSHOT_DELAY_MS after
# it is shown and quits.
#
# Usage: scripts/screenshot.sh [output.png]   (BUILD_DIR, DELAY_MS override;
# the other two pictures go beside the first)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
app="$build/src/auralune"
out="$(realpath -m "${1:-$root/docs/screenshot.png}")"
delay_ms="${DELAY_MS:-14000}"

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
mkdir -p "$work/home/Music" "$work/home/.config" "$work/runtime" "$work/sources"
chmod 700 "$work/runtime"

# A few short needle-drops, converted with the RIAA curve and the default
# restoration chain (mode 2, Enhancement 1 "Phonograph EQ A1 (RIAA)").
# Long enough that the batch is still running when the picture is taken.
sox -n -r 44100 -b 16 -c 2 "$work/sources/01 Nocturne in E flat.wav" synth 150 sine 311 sine 466 pinknoise gain -24
sox -n -r 96000 -b 24 -c 2 "$work/sources/02 Side A - Étude.wav" synth 120 sine 220 pinknoise gain -20
sox -n -r 48000 -b 16 -c 2 "$work/sources/03 Field recording.wav" synth 90 brownnoise gain -18
sox -n -r 44100 -b 16 -c 2 "$work/sources/04 Waltz (78 rpm transfer).wav" synth 180 sine 262 sine 392 pinknoise gain -22
sox -n -r 96000 -b 24 -c 2 "$work/sources/05 Side B - Prelude.wav" synth 120 sine 196 pinknoise gain -20
sox -n -r 44100 -b 16 -c 2 "$work/sources/06 Encore.wav" synth 90 sine 330 pinknoise gain -24
mkdir -p "$work/home/.config/Auralune"
printf '[General]\nDestinationFolder=/home/listener/Music\nMode=2\nFilterType_1=2048\nFilterTypeDefaults_1=1, 1, 2048, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1\n' > "$work/home/.config/Auralune/Auralune.ini"

mkdir -p "$(dirname "$out")"
dark="${out%.png}-dark.png"
preferences="$(dirname "$out")/preferences.png"
rm -f "$out" "$dark" "$preferences"
bus=()
command -v dbus-run-session >/dev/null && bus=(dbus-run-session --)

# One run per picture set, each in a fresh home; the files are queued by
# name (the folder they are in is the temporary one, so the table shows
# names only).
shoot() {
  rm -rf "$work/home/.local" "$work/home/Music"/* "$work/files"
  cp -r "$work/sources" "$work/files"
  env -u DBUS_SESSION_BUS_ADDRESS \
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime" \
    XDG_MUSIC_DIR="$work/home/Music" QT_QPA_PLATFORM=xcb \
    AURALUNE_SCREENSHOT_DELAY_MS="$delay_ms" "$@" \
    timeout 120 xvfb-run -a -s "-screen 0 1400x900x24" "${bus[@]}" "$app" "$work"/files/*
}
shoot AURALUNE_SCREENSHOT="$out" AURALUNE_SCREENSHOT_PREFERENCES="$preferences"
shoot AURALUNE_SCREENSHOT="$dark" AURALUNE_DARK=1

for picture in "$out" "$dark" "$preferences"; do
  if [ ! -s "$picture" ]; then
    echo "screenshot.sh: the app wrote no picture to $picture" >&2
    exit 1
  fi
  echo "$picture"
done
