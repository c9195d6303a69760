#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes a 10-minute 640x360 H.264 file with 128k stereo AAC and a 1-minute 1080p one with
# ffmpeg, times our sound extraction against ffmpeg's own decode of the same stream, shows
# peak memory against the size of the extracted floats, times a seek to an exact picture
# against ffmpeg -ss, and runs video_benchmark on both files.
# Run bench/build.sh first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bench=$root/build-bench/bench
compare="python3 $root/bench/compare.py --runs ${RUNS:-3}"
work=$(mktemp -d /tmp/zentriq-video-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

ffmpeg -v error -f lavfi -i testsrc=s=640x360:r=25:d=600 -f lavfi -i sine=f=440:r=48000:d=600 \
  -ac 2 -c:v libx264 -preset ultrafast -c:a aac -b:a 128k f.mp4
ffmpeg -v error -f lavfi -i testsrc=s=1920x1080:r=25:d=60 -c:v libx264 -preset ultrafast hd.mp4

echo "== extract the sound of f.mp4 vs ffmpeg -f f32le"
$compare "$bench/video-tool extract f.mp4" "ffmpeg -v error -y -i f.mp4 -map 0:a:0 -f f32le /dev/null"
"$bench/video-tool" extract f.mp4
echo "ffmpeg: $( { /usr/bin/time -f 'peakRss=%M KiB' ffmpeg -v error -y -i f.mp4 -map 0:a:0 -f f32le /dev/null; } 2>&1 )"

echo "== the 1080p picture at 37.3 s (the key frame before it is at 30 s) vs ffmpeg -ss"
$compare "$bench/video-tool picture hd.mp4 37.3" \
  "ffmpeg -v error -y -ss 37.3 -i hd.mp4 -frames:v 1 -pix_fmt bgra -f rawvideo /dev/null"

ZENTRIQ_BENCH_VIDEO_360P=$work/f.mp4 ZENTRIQ_BENCH_VIDEO_1080P=$work/hd.mp4 "$bench/video_benchmark"
