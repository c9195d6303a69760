#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times project file save and load of one stereo 44.1 kHz clip against the Python peer and
# prints each side's peak memory. Usage: bench/project/compare.sh [minutes ...] (default 10 60).
# Needs bench/build.sh first; uses about 8 GB of disk per hour of audio in a temp folder.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tool=$root/build-bench/bench/project_file_tool
peer=$root/bench/project/peer_project_file.py
work=$(mktemp -d /tmp/zqp-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

peak() {  # peak resident memory of a command in MiB
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.0f MiB", $1 / 1024}'
}

for m in ${*:-10 60}; do
  "$tool" raw "$m" "$work"
  raw=$(du -cm "$work"/*.f32 | tail -1 | cut -f1)
  echo "== $m min stereo 44.1 kHz, raw float audio $raw MiB"
  python3 "$root/bench/compare.py" "$tool save $work $work/ours.zqp" "python3 $peer save $work $work/peer.zqp" \
    | sed 's/^/save /'
  echo "save peak: ours $(peak "$tool" save "$work" "$work/ours.zqp"), peer $(peak python3 "$peer" save "$work" "$work/peer.zqp")"
  ls -l --block-size=M "$work"/ours.zqp "$work"/peer.zqp | awk '{print "file", $5, $9}'
  python3 "$root/bench/compare.py" "$tool load $work/ours.zqp" "python3 $peer load $work/ours.zqp" \
    | sed 's/^/load /'
  echo "load peak: ours $(peak "$tool" load "$work/ours.zqp"), peer $(peak python3 "$peer" load "$work/ours.zqp")"
  rm -f "$work"/*.zqp
done
