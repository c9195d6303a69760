#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times our offline time stretch of a minute of 44.1 kHz mono against sox tempo (medians of
# alternating runs) and measures each result's pitch error. Run bench/build.sh first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tool="$root/build-bench/bench/offline_dsp_file stretch"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python=/usr/bin/python3; [[ -x $python ]] || python=python3

sox -n -r 44100 -c 1 -e floating-point -b 32 "$work/in.wav" synth 60 sine 440 vol 0.5
sox "$work/in.wav" -t f32 "$work/in.f32"
# Our ratio is the output's length over the input's; sox's tempo factor is its inverse.
for pair in "1.25 0.8" "0.8 1.25" "1.25 1.25"; do
  read -r ratio tempo <<<"$pair"
  echo "== stretch $ratio vs sox tempo $tempo"
  python3 "$root/bench/compare.py" --median --runs "${RUNS:-5}" "$tool $work/in.f32 $work/ours.f32 $ratio" \
    "sox $work/in.wav -t f32 $work/sox.f32 tempo $tempo"
  "$python" - "$work" <<'PY'
import sys, numpy as np
work = sys.argv[1]
for name in ("ours", "sox"):
    y = np.fromfile(f"{work}/{name}.f32", dtype="<f4").astype(float)[44100:-44100]
    X = np.abs(np.fft.rfft(y * np.hanning(len(y)), 1 << 23))
    k = int(np.argmax(X)); a, b, c = np.log(X[k - 1:k + 2])
    f = (k + 0.5 * (a - c) / (a - 2 * b + c)) * 44100 / (1 << 23)
    print(f"{name:5s} pitch error {1200 * np.log2(f / 440):+.3f} cents")
PY
done
