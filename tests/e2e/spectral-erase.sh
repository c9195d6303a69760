#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb: a WAV with a 1 kHz and a 6 kHz tone is imported; in the
# combined view a click in the waveform and one in the spectrogram each put both playheads at
# the clicked column; then the spectrogram view is chosen, the erase tool taken with E, and
# the 1 kHz line brushed twice with xdotool where the screenshot shows it; then the audio is
# exported. numpy checks the export
# against the input read by sox: the 1 kHz tone is gone inside the stroke, the 6 kHz tone
# stays, and every sample away from the stroke equals the input.
#
# Usage: spectral-erase.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: spectral-erase.sh PROGRAM [OUTPUT_DIR]}
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

sox -n -r 44100 -b 16 -c 1 "$work/input.wav" synth 6 sine 1000 synth 6 sine mix 6000 gain -9

start_program erase
keys ctrl+n
wait_window '新建项目设置' >/dev/null
keys Return
wait_gone '新建项目设置'
main_keys alt+f i
answer_file_dialog '导入音频/视频' "$work/input.wav"
sleep 1
shot 01-imported

# The view combo ("视图：") and the erase button sit at fixed places in the toolbar.
eval "$(xdotool getwindowgeometry --shell "$main")"

# The combined view ("两者"): a click at a moment in either view puts the playheads of both,
# the waveform's white one and the spectrogram's red one, at the clicked column.
xdotool mousemove $((X + 116)) $((Y + 53)) click 1
sleep 0.5
keys Down Down Return
sleep 2
shot 02-combined
import -window root -depth 8 "$work/combined.ppm"
read -r plot_left plot_right wave_y spec_y < <(/usr/bin/python3 - "$work/combined.ppm" <<'PY'
import sys
import numpy as np
data = open(sys.argv[1], "rb").read()
parts = data.split(maxsplit=4)
width, height = int(parts[1]), int(parts[2])
image = np.frombuffer(parts[4][:width * height * 3], dtype=np.uint8).reshape(height, width, 3).astype(np.int32)
r, g, b = image[:, :, 0], image[:, :, 1], image[:, :, 2]
dark = (g < 10) & (b > r) & (b > 40) & (b < 100)
cyan = (r < 40) & (g > 200) & (b > 200)
ys, xs = np.nonzero(dark)
# The waveform's cyan above the spectrogram (the time label below it is cyan too).
wy, wx = np.nonzero(cyan[:ys.min()] if ys.size else cyan[:0])
if ys.size == 0 or wy.size == 0:
    sys.exit("the combined view shows no spectrogram or no waveform")
print(xs.min(), xs.max(), (wy.min() + wy.max()) // 2, (ys.min() + ys.max()) // 2)
PY
) || fail "the combined view is not on the screen"
playheads_at() {
  import -window root -depth 8 "$work/playheads.ppm"
  /usr/bin/python3 - "$work/playheads.ppm" "$1" "$wave_y" "$spec_y" <<'PY'
import sys
import numpy as np
data = open(sys.argv[1], "rb").read()
parts = data.split(maxsplit=4)
width, height = int(parts[1]), int(parts[2])
image = np.frombuffer(parts[4][:width * height * 3], dtype=np.uint8).reshape(height, width, 3).astype(np.int32)
x, wave_y, spec_y = (int(v) for v in sys.argv[2:5])
def columns(y, colour):
    return np.flatnonzero((image[y] == colour).all(axis=1))
white = columns(wave_y - 20, (255, 255, 255))
red = columns(spec_y, (255, 80, 80))
print("waveform playhead", white, "spectrogram playhead", red, "clicked", x)
assert white.size and abs(white[0] - x) <= 1, white
assert red.size and abs(red[0] - x) <= 1, red
PY
}
for at in 25 70; do
  x=$((plot_left + (plot_right - plot_left) * at / 100))
  y=$([[ $at == 25 ]] && echo "$wave_y" || echo "$spec_y")
  # Screenshot columns are the screen's own.
  xdotool mousemove "$x" "$y" click 1
  sleep 1
  shot "02-combined-click-$at"
  playheads_at "$x" || fail "the playheads of the combined view part at $at % of the plot"
done

# Back to the spectrogram view alone, one above.
xdotool mousemove $((X + 116)) $((Y + 53)) click 1
sleep 0.5
keys Up Return
sleep 1
xdotool mousemove $((X + 352)) $((Y + 55)) click 1
sleep 1
shot 03-spectrogram
import -window root -depth 8 "$work/spectrogram.ppm"

# The plot's left and right edges, and the 1 kHz line: the brightest row of the lowest bright band.
read -r left right line < <(/usr/bin/python3 - "$work/spectrogram.ppm" <<'PY'
import sys
import numpy as np
data = open(sys.argv[1], "rb").read()
parts = data.split(maxsplit=4)
width, height = int(parts[1]), int(parts[2])
image = np.frombuffer(parts[4][:width * height * 3], dtype=np.uint8).reshape(height, width, 3)
# The plot is the box of the ramp's dark violet end (the input's dither sits just above 0).
r, g, b = (image[:, :, i].astype(np.int32) for i in range(3))
dark = (g < 10) & (b > r) & (b > 40) & (b < 100)
ys, xs = np.nonzero(dark)
if ys.size == 0:
    sys.exit("no spectrogram on the screen")
top, bottom, x0, x1 = ys.min(), ys.max(), xs.min(), xs.max()
plot = image[top:bottom + 1, x0:x1 + 1].astype(np.int32).sum(axis=2)
score = plot[:, plot.shape[1] // 4:plot.shape[1] // 2].mean(axis=1)
rows = np.flatnonzero(score > 0.6 * score.max())
band = rows[rows > rows.max() - 20]
y = top + band[np.argmax(score[band])]
print(x0, x1, y)
PY
) || fail "the spectrogram does not show the tone"
from=$((left + (right - left) * 30 / 100))
to=$((left + (right - left) * 60 / 100))
for _ in 1 2; do
  xdotool mousemove $((X + from)) $((Y + line)) mousedown 1
  xdotool mousemove --sync $((X + (from + to) / 2)) $((Y + line))
  xdotool mousemove --sync $((X + to)) $((Y + line)) mouseup 1
  sleep 1
done
shot 04-erased

main_keys alt+f w
answer_file_dialog '导出WAV' "$work/erased.wav"
wait_written "$work/erased.wav" "the export was not written"
# Quitting would ask to save the project; the export is all this needs.
kill -KILL "$program_pid"
wait "$program_pid" 2>/dev/null || true

sox "$work/input.wav" -t s16 "$work/input.raw"
sox "$work/erased.wav" -t s16 "$work/erased.raw"
/usr/bin/python3 - "$work" "$from" "$to" "$left" "$right" <<'PY' || fail "the export does not hold the erase"
import sys
import numpy as np
work = sys.argv[1]
start, end, left, right = (int(v) for v in sys.argv[2:6])
rate, hop, n = 44100, 512, 2048
before = np.fromfile(f"{work}/input.raw", dtype="<i2")
after = np.fromfile(f"{work}/erased.raw", dtype="<i2")
assert len(after) == len(before), (len(after), len(before))
seconds = len(before) / rate
def time_at(x):
    return (x - left) / (right - left + 1) * seconds
# The stroke's box: 8 hops each side of the stroke, give or take a pixel.
pixel = seconds / (right - left + 1)
s0 = int((time_at(start) - 8 * hop / rate - pixel) * rate)
s1 = int((time_at(end) + 8 * hop / rate + pixel) * rate)
outside = np.r_[0:max(0, s0 - n), min(len(before), s1 + n):len(before)]
changed = np.flatnonzero(after[outside] != before[outside])
assert changed.size == 0, f"{changed.size} samples changed outside the stroke"
inner = slice(s0 + 3 * n, s1 - 3 * n)
def level(x, hz):
    t = np.arange(inner.start, inner.stop) / rate
    w = np.hanning(len(t))
    return 2 * abs(np.sum(w * x[inner] * np.exp(-2j * np.pi * hz * t))) / w.sum()
drop = 20 * np.log10(level(after, 1000) / level(before, 1000))
kept = 20 * np.log10(level(after, 6000) / level(before, 6000))
print(f"1 kHz inside the stroke: {drop:.1f} dB, 6 kHz: {kept:+.3f} dB")
assert drop <= -25, drop
assert abs(kept) < 0.1, kept
PY
passed=1
