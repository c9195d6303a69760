#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the pitch-correction editor on a three-minute sung-like mono take, pinned to two cores:
# opening it (pitch detection) against `aubiopitch -p yin` with the same window and hop, and
# opening plus rendering the correction against `rubberband -p` and `sox pitch` shifting the
# whole take. Then times the compressor applied through the page and its dialog on a
# three-minute stereo file against our own offline compressor. Build first with bench/build.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tool=$root/build-bench/bench/effect_dialog_file
offline=$root/build-bench/bench/offline_effect_file
work=$(mktemp -d /tmp/zentriq-effect-dialogs.XXXXXX)
trap 'rm -rf "$work"' EXIT
runs=${RUNS:-5}
python=/usr/bin/python3; [[ -x $python ]] || python=python3
two="taskset -c 0,1"

# Notes of a scale between E3 and C5, each 0.3-1.2 s, up to 40 cents off, with a 5-6 Hz
# vibrato, eight harmonics and a breath of noise, separated by short silences (seed 23).
"$python" - "$work/vocal.f32" <<'PY'
import sys, numpy as np
rng, rate, total = np.random.default_rng(23), 44100, 180 * 44100
out, pos = np.zeros(total), int(0.2 * 44100)
scale = [52, 54, 55, 57, 59, 60, 62, 64, 65, 67, 69, 71, 72]
while pos < total - 2 * rate:
    n = int(rng.uniform(0.3, 1.2) * rate)
    t = np.arange(n) / rate
    cents = rng.uniform(-40, 40) + 15 * np.sin(2 * np.pi * rng.uniform(5, 6) * t)
    f = 440 * 2 ** ((rng.choice(scale) - 69 + cents / 100) / 12)
    phase = 2 * np.pi * np.cumsum(f) / rate
    tone = sum(np.sin(k * phase) / k ** 1.5 for k in range(1, 9))
    edge = np.minimum(1, np.minimum(t, t[::-1]) / 0.03)
    out[pos:pos + n] = 0.3 * edge * tone + 0.003 * rng.standard_normal(n)
    pos += n + int(rng.uniform(0.05, 0.3) * rate)
out.astype('<f4').tofile(sys.argv[1])
PY
sox -t f32 -r 44100 -c 1 "$work/vocal.f32" -b 16 "$work/vocal.wav"
sox "$work/vocal.wav" -r 44100 -c 2 "$work/stereo.wav" remix 1 1v0.6
out=$work/out.wav
f32="-e floating-point -b 32"

compare() {
  echo "== $1"
  python3 "$root/bench/compare.py" --runs "$runs" "$2" "$3"
}
"$tool" render "$work/vocal.wav" "$out"
compare "open the pitch editor vs aubiopitch -p yin -B 1764 -H 441 (2 cores)" "$two $tool open $work/vocal.wav" \
  "$two aubiopitch -p yin -B 1764 -H 441 -i $work/vocal.wav"
compare "open + render vs rubberband -p 1 (2 cores)" "$two $tool render $work/vocal.wav $out" \
  "$two rubberband -q -p 1 $work/vocal.wav $work/rb.wav"
compare "open + render vs sox pitch 100 (2 cores)" "$two $tool render $work/vocal.wav $out" \
  "$two sox -D $work/vocal.wav $f32 $work/sox.wav pitch 100"
"$tool" compress "$work/stereo.wav" "$out"
compare "compressor through the page and dialog vs offline compressor (stereo)" \
  "$tool compress $work/stereo.wav $out" "$offline compress $work/stereo.wav $out"
