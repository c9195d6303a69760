#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times each effect applied through its dialog on the editor page against the same effect
# run offline, file to file on the same three-minute stereo 44.1 kHz file as
# offline-effects.sh uses (pink noise under a 220 Hz tone and a 120 BPM click). The offline
# side is offline-effects.sh's own tool, so its ratios against sox carry over. Build first
# with bench/build.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
offline=$root/build-bench/bench/offline_effect_file
dialog=$root/build-bench/bench/effect_dialog_file
work=$(mktemp -d /tmp/zentriq-effect-dialogs.XXXXXX)
trap 'rm -rf "$work"' EXIT
runs=${RUNS:-5}

in=$work/in.wav
sox -n -r 44100 -c 1 "$work/click.wav" synth 0.02 sine 1000 pad 0 0.48 repeat 359
sox -n -r 44100 -c 1 "$work/bed.wav" synth 180 pinknoise vol 0.1 synth 180 sine mix 220 vol 0.5
sox -m "$work/click.wav" "$work/bed.wav" -r 44100 -c 2 -b 16 "$in" remix 1 1

for effect in gain reverb delay noisered; do
  echo "== $effect: through its dialog vs offline"
  python3 "$root/bench/compare.py" --median --runs "$runs" "$dialog $effect $in $work/dialog.wav" \
    "$offline $effect $in $work/offline.wav"
done
