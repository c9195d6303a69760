#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times each offline effect and analysis against its sox or aubio peer on the same ten-minute
# stereo 44.1 kHz file (pink noise under a 220 Hz tone and a 120 BPM click); both sides read
# the 16-bit WAV and write 32-bit float WAV. Build first with bench/build.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tool=$root/build-bench/bench/offline_effect_file
work=$(mktemp -d /tmp/zentriq-offline-effects.XXXXXX)
trap 'rm -rf "$work"' EXIT
runs=${RUNS:-5}

in=$work/in.wav
sox -n -r 44100 -c 1 "$work/click.wav" synth 0.02 sine 1000 pad 0 0.48 repeat 1199
sox -n -r 44100 -c 1 "$work/bed.wav" synth 600 pinknoise vol 0.1 synth 600 sine mix 220 vol 0.5
sox -m "$work/click.wav" "$work/bed.wav" -r 44100 -c 2 -b 16 "$in" remix 1 1
out=$work/out.wav

compare() {
  echo "== $1"
  python3 "$root/bench/compare.py" --runs "$runs" "$2" "$3"
}
f32="-e floating-point -b 32"
compare "5-band EQ vs five sox equalizer stages" "$tool eq5 $in $out" \
  "sox -D $in $f32 $out equalizer 100 0.7q 3 equalizer 500 1q -3 equalizer 2000 1.2q 4 equalizer 5000 0.8q 2 equalizer 10000 0.7q -2"
compare "reverb vs sox reverb" "$tool reverb $in $out" "sox -D $in $f32 $out reverb 30 50 50 100 20"
compare "compressor vs sox compand" "$tool compress $in $out" \
  "sox -D $in $f32 $out compand 0.01,0.1 6:-20,-15 3"
compare "delay vs sox echo" "$tool delay $in $out" "sox -D $in $f32 $out echo 0.6 0.6 250 0.5"
compare "gain vs sox vol" "$tool gain $in $out" "sox -D $in $f32 $out vol 0.5"
compare "noise reduction vs sox noiseprof + noisered" "$tool noisered $in $out" \
  "sox $in -n trim 0 1 noiseprof $work/noise.prof && sox -D $in $f32 $out noisered $work/noise.prof 0.21"
compare "tempo vs aubio tempo" "$tool tempo $in" "aubio tempo -i $in"
compare "YIN vs aubiopitch -p yin" "$tool yin $in" "aubiopitch -p yin -i $in"
# Without the output file: shows how much of the gain figure is reading and writing.
compare "gain without writing vs sox vol to -n" "$tool gain $in" "sox -D $in $f32 -n vol 0.5"
