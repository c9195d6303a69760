#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times audio-file-tool against ffmpeg and each format's own tool (flac, mpg123, oggdec, sox,
# lame) on 10 minutes of stereo 44.1 kHz: a mix of the piano renders and a two-sine tone.
# Every pair does the same work: decode to 32-bit float (ours also builds the mono mix the
# editor needs, which no peer does), or load 16-bit WAV and write the same format.
# Run bench/build.sh first; RUNS sets N (at least 5), MATERIALS limits the inputs, TOOL
# points at another build of audio-file-tool.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tool=${TOOL:-$root/build-bench/bench/audio-file-tool}
compare="python3 $root/bench/compare.py --runs ${RUNS:-7}"
work=$(mktemp -d /tmp/zentriq-audio-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Four-second phrases of six notes each at their own time and pan, strung in a fixed
# pseudo-random order into 10 minutes.
notes=("$root"/resources/piano/*.mp3)
RANDOM=28
for phrase in $(seq 0 11); do
  inputs=() chains=() labels=
  for voice in $(seq 0 5); do
    inputs+=(-i "${notes[RANDOM % ${#notes[@]}]}")
    delay=$((RANDOM % 3000)) pan=$((RANDOM % 100))
    chains+=("[$voice]adelay=$delay,pan=stereo|c0=0.0$pan*c0|c1=0.$((99 - pan))*c0[v$voice]")
    labels+="[v$voice]"
  done
  ffmpeg -v error "${inputs[@]}" -filter_complex \
    "$(IFS=';'; echo "${chains[*]}");${labels}amix=inputs=6:normalize=0,apad" -t 4 -ar 44100 -ac 2 "p$phrase.wav"
done
sequence=()
for _ in $(seq 150); do sequence+=("p$((RANDOM % 12)).wav"); done
sox "${sequence[@]}" -b 16 piano.wav norm -1
sox -R -n -r 44100 -c 2 -b 16 sine.wav synth 600 sine 440 sine 220 gain -3

for material in ${MATERIALS:-piano sine}; do
  flac -s -f -5 -o "$material.flac" "$material.wav"
  lame --silent -b 192 "$material.wav" "$material.mp3"
  ffmpeg -v error -i "$material.wav" -c:a libvorbis -q:a 5 "$material.ogg"
  ffdecode() { echo "ffmpeg -v error -threads 0 -i $1 -f f32le -y /dev/null"; }
  for input in $material.wav $material.flac $material.mp3 $material.ogg; do
    echo "== $material: load $input vs ffmpeg to f32"
    $compare "$tool load $input" "$(ffdecode "$input")"
  done
  echo "== $material: load WAV vs sox to f32"
  $compare "$tool load $material.wav" "sox $material.wav -t f32 -e floating-point /dev/null"
  echo "== $material: load FLAC vs flac -d to raw"
  $compare "$tool load $material.flac" "flac -s -d -c --force-raw-format --endian=little --sign=signed $material.flac > /dev/null"
  echo "== $material: load MP3 vs mpg123 -e f32"
  $compare "$tool load $material.mp3" "mpg123 -q -e f32 -s $material.mp3 > /dev/null"
  echo "== $material: load Ogg vs oggdec -R to 16-bit raw (oggdec has no float output)"
  $compare "$tool load $material.ogg" "oggdec -Q -R -o /dev/null $material.ogg"

  echo "== $material: save WAV 16 (load + save) vs sox"
  $compare "$tool convert $material.wav out.wav 16" "sox $material.wav -b 16 sox.wav"
  echo "== $material: save WAV 16 (load + save) vs ffmpeg"
  $compare "$tool convert $material.wav out.wav 16" "ffmpeg -v error -i $material.wav -c:a pcm_s16le -y ff.wav"
  echo "== $material: save FLAC (load + save) vs flac -0 and ffmpeg"
  $compare "$tool convert $material.wav out.flac 16" "flac -s -f -0 $material.wav -o ref.flac"
  $compare "$tool convert $material.wav out.flac 16" "ffmpeg -v error -i $material.wav -compression_level 0 -y ff.flac"
  flac -s -f -5 "$material.wav" -o ref5.flac
  echo "FLAC size: ours $(stat -c %s out.flac), flac -0 $(stat -c %s ref.flac), flac -5 $(stat -c %s ref5.flac)" \
    "(ours stores verbatim frames)"
  echo "== $material: save MP3 (load + save) vs lame"
  $compare "$tool convert $material.wav out.mp3" "lame --silent -b 192 -q 2 -m j $material.wav ref.mp3"

  echo "== $material: peak memory of a load (decoded = samples + stereoSamples as floats)"
  for input in $material.wav $material.flac $material.mp3 $material.ogg; do
    printf '%s: ' "$input"; "$tool" load "$input"
  done
done
