#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times audio-file-tool against ffmpeg, mpg123, flac, sox and lame on one 10-minute stereo
# 44.1 kHz input per format (made here by sox, flac and lame) and reports peak memory.
# Run bench/build.sh first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tool=$root/build-bench/bench/audio-file-tool
compare="python3 $root/bench/compare.py --runs ${RUNS:-3}"
work=$(mktemp -d /tmp/zentriq-audio-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

sox -R -n -r 44100 -c 2 -b 16 in16.wav synth 600 sine 440 sine 220 gain -3
sox -R -n -r 44100 -c 2 -b 24 in24.wav synth 600 sine 440 sine 220 gain -3
flac -s -f -o in.flac in16.wav
lame --silent -b 192 in16.wav in.mp3
sox -R in16.wav in.ogg

ffdecode() { echo "ffmpeg -v error -i $1 -f f32le -y /dev/null"; }
for input in in16.wav in24.wav in.flac in.mp3 in.ogg; do
  echo "== load $input vs ffmpeg"
  $compare "$tool load $input" "$(ffdecode $input)"
done
echo "== load in.mp3 vs mpg123"
$compare "$tool load in.mp3" "mpg123 -q -s in.mp3 > /dev/null"
echo "== load in.flac vs flac -d"
$compare "$tool load in.flac" "flac -s -d -c in.flac > /dev/null"

echo "== save WAV 16 vs sox"
$compare "$tool convert in16.wav out.wav 16" "sox in16.wav sox.wav"
echo "== save FLAC vs flac -0"
$compare "$tool convert in16.wav out.flac 16" "flac -s -f -0 in16.wav -o ref.flac"
echo "== save MP3 vs lame"
$compare "$tool convert in16.wav out.mp3" "lame --silent -b 192 -q 2 -m m in16.wav ref.mp3"

echo "== save alone (the peers above also read their input)"
for output in out.wav out.flac out.mp3; do
  printf '%s: ' "$output"; "$tool" convert in16.wav "$output" 16 2>&1
done

echo "== peak memory of a load (decoded = samples + stereoSamples as floats)"
for input in in16.wav in24.wav in.flac in.mp3 in.ogg; do
  printf '%s: ' "$input"; "$tool" load "$input"
done
