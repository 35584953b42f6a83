#!/usr/bin/env bash
# End-to-end speed and memory of whole conversions with auralune-cli, beside
# sox doing the rate changes alone on the same files.
#
#   bench/end_to_end.sh [minutes, default 10]
#
# Generates stereo test files (16-bit 44.1 kHz, 24-bit 96 kHz needle-drop
# style, 24-bit 192 kHz), converts each with the defaults and with the
# default phonograph chain, and prints x-realtime (audio seconds per wall
# second) and peak RSS; then a batch of 8 two-minute files with -j 2 against
# -j 1 (the throughput ratio). Needs a build in build/ (scripts/build.sh)
# and sox.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
seconds=$((minutes * 60))
cli=$PWD/build/src/auralune-cli
[ -x "$cli" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export AURALUNE_CONFIG_FILE=$work/settings.ini
export XDG_STATE_HOME=$work/state

make_source() {   # name rate bits
  # Music-like: two tones, pink noise and a slow sweep, well below full scale.
  sox -n -r "$2" -b "$3" -c 2 "$work/$1" synth "$seconds" sine 220 sine 3300 pinknoise \
    synth "$seconds" sine amod 0.3 50 gain -12 2>/dev/null
}

# Prints wall seconds, peak RSS (KiB) and CPU seconds (user + system) of a
# command. On a shared machine the CPU time is the figure to compare: the
# wall time grows with the other users' load.
measure() {
  /usr/bin/time -o "$work/time.txt" -f '%e %M %U %S' "$@" >/dev/null 2>&1
  tail -1 "$work/time.txt" | awk '{ print $1, $2, $3 + $4, $3, $4 }'
}

report() {   # label wall rss cpu user sys
  awk -v label="$1" -v wall="$2" -v rss="$3" -v cpu="$4" -v user="$5" -v sys="$6" -v audio="$seconds" \
    'BEGIN { printf "%-62s %8.1fx realtime  %7.1f s  CPU %6.2f s (%.2f user + %.2f sys, %6.1fx realtime)  peak RSS %7.1f MiB\n",
             label, audio / wall, wall, cpu, user, sys, audio / cpu, rss / 1024 }'
}

# Figures of the last run, for the ratios at the end.
last_cpu=0
last_wall=0

run_cli() {   # label source args...
  local label=$1 source=$2; shift 2
  rm -f "$work"/*-*.wav
  read -r last_wall rss last_cpu user sys < <(measure "$cli" convert --repeatable "$@" "$work/$source")
  report "$label" "$last_wall" "$rss" "$last_cpu" "$user" "$sys"
}

run_sox() {   # label source effect...
  local label=$1 source=$2; shift 2
  read -r last_wall rss last_cpu user sys < <(measure sox -D "$work/$source" -b 24 "$work/sox-out.wav" "$@")
  report "$label" "$last_wall" "$rss" "$last_cpu" "$user" "$sys"
}

ratio() {   # label auralune-cpu auralune-wall sox-cpu sox-wall
  awk -v label="$1" -v a="$2" -v aw="$3" -v s="$4" -v sw="$5" \
    'BEGIN { printf "%-62s CPU %.2fx sox, wall %.2fx sox\n", label, a / s, aw / sw }'
}

command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (package time)" >&2; exit 1; }
echo "Generating $minutes-minute stereo sources..."
make_source cd.wav 44100 16
make_source needle96.wav 96000 24
make_source hires192.wav 192000 24
echo "One stage buffer (stereo doubles): 44.1k $((seconds * 44100 * 16 / 1048576)) MiB," \
     "88.2k $((seconds * 88200 * 16 / 1048576)) MiB, 96k $((seconds * 96000 * 16 / 1048576)) MiB"

run_cli "auralune None, defaults (44.1k/16 -> 88.2k/24)" cd.wav
none_cpu=$last_cpu none_wall=$last_wall
run_cli "auralune None, hi-res off (44.1k/16)" cd.wav --set HiResType=2
run_cli "auralune None, defaults (192k/24, halved and restored)" hires192.wav
run_cli "auralune Phonograph A1 chain, defaults (96k/24)" needle96.wav -1 pa1
phono_cpu=$last_cpu phono_wall=$last_wall
mv "$work"/needle96-pa1.wav "$work/inmemory.wav"
# The same over a memory budget of 256 MiB: the stage buffers go to
# temporary files; peak RSS must stay under 400 MiB, the bytes the same.
run_cli "auralune Phonograph A1 chain, MemoryBudget 256 (96k/24)" needle96.wav -1 pa1 --set MemoryBudget=256
cmp -s "$work/inmemory.wav" "$work/needle96-pa1.wav" && echo "  on disk: bit-identical to the in-memory run" ||
  echo "  on disk: OUTPUT DIFFERS from the in-memory run"
rm -f "$work/inmemory.wav"
run_cli "auralune Phonograph A1 chain, defaults (44.1k/16 -> 88.2k/24)" cd.wav -1 pa1
run_cli "auralune Cassette Noise Reduction (96k/24)" needle96.wav -1 "Cassette Noise Reduction"
run_cli "auralune Groove, defaults (44.1k/16 -> 88.2k/24)" cd.wav -1 Groove
# Six-channel results: a CD-4 groove (a 30 kHz carrier under the
# programme) and a matrix decode; peak RSS against the six-channel stage
# buffer (six times the stereo one).
sox -n -r 96000 -b 24 -c 2 "$work/carrier.wav" synth "$seconds" sine 29500-30500 gain -18 2>/dev/null
sox -m -v 1 "$work/needle96.wav" -v 1 "$work/carrier.wav" "$work/cd4groove.wav" 2>/dev/null
run_cli "auralune JVC CD-4, defaults (96k/24, six channels)" cd4groove.wav -1 "JVC CD-4 Quadraphonic"
run_cli "auralune High-Quality CD-4, defaults (96k/24, six channels)" cd4groove.wav -1 "High-Quality CD-4 Quadraphonic"
run_cli "auralune SQ, defaults (96k/24, six channels)" needle96.wav -1 "SQ Quadraphonic"
run_cli "auralune Phonograph A1 chain + wow correction (96k/24)" needle96.wav -1 pa1 --set UseWowCorrection=YES
run_sox "sox rate -v 88200 (44.1k/16 -> 88.2k/24)" cd.wav rate -v 88200
ratio "auralune None 44.1k -> 88.2k against sox rate -v 88200" "$none_cpu" "$none_wall" "$last_cpu" "$last_wall"
run_sox "sox rate -v 96000 (192k/24 -> 96k/24)" hires192.wav rate -v 96000
run_sox "sox riaa (96k/24)" needle96.wav riaa
ratio "auralune Phonograph A1 96k against sox riaa" "$phono_cpu" "$phono_wall" "$last_cpu" "$last_wall"

# A batch of 8 two-minute files (44.1k/16, defaults) two at a time against
# one at a time: the throughput ratio of `-j 2` over `-j 1`.
mkdir -p "$work/batch" "$work/batch-out"
sox -n -r 44100 -b 16 -c 2 "$work/batch/b1.wav" synth 120 sine 220 sine 3300 pinknoise gain -12 2>/dev/null
for i in 2 3 4 5 6 7 8; do cp "$work/batch/b1.wav" "$work/batch/b$i.wav"; done
batch_run() {   # jobs
  rm -f "$work/batch-out"/*
  read -r last_wall rss last_cpu user sys < <(measure "$cli" convert -q --repeatable -j "$1" \
    --output-dir "$work/batch-out" "$work"/batch/b*.wav)
  awk -v jobs="$1" -v wall="$last_wall" -v cpu="$last_cpu" -v rss="$rss" \
    'BEGIN { printf "%-62s %7.1f s  CPU %6.2f s  %6.1fx realtime  peak RSS %7.1f MiB\n",
             "auralune batch of 8 two-minute files, -j " jobs, wall, cpu, 960 / wall, rss / 1024 }'
}
batch_run 1
one_wall=$last_wall
batch_run 2
awk -v one="$one_wall" -v two="$last_wall" \
  'BEGIN { printf "%-62s %.2fx the throughput of -j 1\n", "auralune batch -j 2", one / two }'
