#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times our offline pitch shift and time stretch of a minute of 44.1 kHz mono against sox (and
# the shift against rubberband), as medians of alternating runs, and measures each result's
# pitch error. Run bench/build.sh first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tool=$root/build-bench/bench/offline_dsp_file
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python=/usr/bin/python3; [[ -x $python ]] || python=python3
compare() { python3 "$root/bench/compare.py" --runs "${RUNS:-5}" "$@"; }

# Prints each named result's pitch error in cents against the expected frequency.
pitch_errors() {
  "$python" - "$work" "$@" <<'PY'
import sys, numpy as np
work, target, names = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
for name in names:
    y = np.fromfile(f"{work}/{name}.f32", dtype="<f4").astype(float)[44100:-44100]
    X = np.abs(np.fft.rfft(y * np.hanning(len(y)), 1 << 23))
    k = int(np.argmax(X)); a, b, c = np.log(X[k - 1:k + 2])
    f = (k + 0.5 * (a - c) / (a - 2 * b + c)) * 44100 / (1 << 23)
    print(f"{name:5s} pitch error {1200 * np.log2(f / target):+.3f} cents")
PY
}

sox -n -r 44100 -c 1 -e floating-point -b 32 "$work/in.wav" synth 60 sine 440 vol 0.5
sox "$work/in.wav" -t f32 "$work/in.f32"
for semitones in 3 -7; do
  echo "== pitch shift by $semitones semitones"
  echo "-- vs rubberband"
  compare "$tool pitch $work/in.f32 $work/ours.f32 $semitones" \
    "rubberband -q -p $semitones $work/in.wav $work/rb.wav"
  echo "-- vs sox pitch"
  compare "$tool pitch $work/in.f32 $work/ours.f32 $semitones" \
    "sox $work/in.wav -e floating-point $work/sox.wav pitch $((semitones * 100))"
  sox "$work/rb.wav" -t f32 "$work/rb.f32"
  sox "$work/sox.wav" -t f32 "$work/sox.f32"
  pitch_errors "$(python3 -c "print(440 * 2 ** ($semitones / 12))")" ours rb sox
done

# Our ratio is the output's length over the input's; sox's tempo factor is its inverse, so
# the first two pairs do the same job. The last pairs the same numbers, as they are written.
for pair in "1.25 0.8" "0.8 1.25" "1.25 1.25"; do
  read -r ratio tempo <<<"$pair"
  echo "== time stretch by $ratio vs sox tempo $tempo"
  compare "$tool stretch $work/in.f32 $work/ours.f32 $ratio" "sox $work/in.wav -t f32 $work/sox.f32 tempo $tempo"
  pitch_errors 440 ours sox
done
