#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times our offline pitch shift of a minute of 44.1 kHz mono against rubberband and sox, and
# measures each result's pitch error (medians of alternating runs). Run bench/build.sh first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tool="$root/build-bench/bench/offline_dsp_file pitch"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python=/usr/bin/python3; [[ -x $python ]] || python=python3

sox -n -r 44100 -c 1 -e floating-point -b 32 "$work/in.wav" synth 60 sine 440 vol 0.5
sox "$work/in.wav" -t f32 "$work/in.f32"
for semitones in 3 -7; do
  cents=$((semitones * 100))
  echo "== $semitones semitones"
  echo "-- vs rubberband"
  python3 "$root/bench/compare.py" --median --runs ${RUNS:-5} "$tool $work/in.f32 $work/ours.f32 $semitones" \
    "rubberband -q -p $semitones $work/in.wav $work/rb.wav"
  echo "-- vs sox"
  python3 "$root/bench/compare.py" --median --runs ${RUNS:-5} "$tool $work/in.f32 $work/ours.f32 $semitones" \
    "sox $work/in.wav -e floating-point $work/sox.wav pitch $cents"
  sox "$work/rb.wav" -t f32 "$work/rb.f32"
  sox "$work/sox.wav" -t f32 "$work/sox.f32"
  "$python" - "$work" "$semitones" <<'PY'
import sys, numpy as np
work, semitones = sys.argv[1], int(sys.argv[2])
target = 440 * 2 ** (semitones / 12)
for name in ("ours", "rb", "sox"):
    y = np.fromfile(f"{work}/{name}.f32", dtype="<f4").astype(float)[44100:44100 * 59]
    X = np.abs(np.fft.rfft(y * np.hanning(len(y)), 1 << 23))
    k = int(np.argmax(X)); a, b, c = np.log(X[k - 1:k + 2])
    f = (k + 0.5 * (a - c) / (a - 2 * b + c)) * 44100 / (1 << 23)
    print(f"{name:5s} pitch error {1200 * np.log2(f / target):+.2f} cents")
PY
done
