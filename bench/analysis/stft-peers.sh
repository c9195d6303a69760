#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the view's full-resolution STFT of 10 minutes of mono against numpy (the same frames,
# window and level map) and sox spectrogram at the same resolution (2048-point DFT, one column
# per 512 samples). Usage: stft-peers.sh [build dir with bench/spectrogram_tool]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 1 -e floating-point -b 32 "$work/clip.wav" synth 600 sine 1000 sine 6000 remix - gain -6
sox "$work/clip.wav" -t f32 "$work/clip.f32"
cat >"$work/numpy_stft.py" <<'PY'
import sys
import numpy as np
x = np.fromfile(sys.argv[1], dtype='<f4')
n, hop = 2048, 512
frames = np.lib.stride_tricks.sliding_window_view(x, n)[::hop]
m = np.abs(np.fft.rfft(frames * np.hanning(n).astype(np.float32), axis=1))[:, :n // 2] / n
with np.errstate(divide='ignore'):
    v = np.clip((20 * np.log10(m) + 100) / 70, 0, 1)
print(v.shape, v.max())
PY
echo "== ours vs numpy"
python3 "$root/bench/compare.py" --runs 7 "$build/bench/spectrogram_tool $work/clip.f32" \
  "/usr/bin/python3 $work/numpy_stft.py $work/clip.f32"
echo "== ours vs sox spectrogram (-X 86.1328125 columns/s, -y 1025 rows)"
python3 "$root/bench/compare.py" --runs 5 "$build/bench/spectrogram_tool $work/clip.f32" \
  "sox $work/clip.wav -n spectrogram -X 86.1328125 -y 1025 -o $work/sox.png"
