#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times what a big project costs the main window, in fresh processes, median of $RUNS:
#   - opening a busy project (default 64 tracks of 50 clips of 2 s, project_file_tool busy)
#     through the open action in a shown 1600 x 900 window until its layouts settled, with
#     the peak memory the open added, then closing the project and tearing the window down;
#     beside it ProjectFile::load of the same file alone, what its audio costs;
#   - adding 1000 empty audio tracks to a shown multitrack page (multitrack_bench), the time
#     and the resident memory per track;
#   - opening a project of 10,000 empty tracks, once.
# Usage: bench/app/project-scale.sh [tracks clips clip-seconds]. BENCH_DIR picks another build's
# bench folder (say, one of an older commit) to compare against. Run bench/build.sh first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bench=${BENCH_DIR:-$root/build-bench/bench}
runs=${RUNS:-5}
tracks=${1:-64} clips=${2:-50} seconds=${3:-2}
work=$(mktemp -d /tmp/zentriq-project-scale.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
export XDG_RUNTIME_DIR=$work/runtime && mkdir -m 700 "$XDG_RUNTIME_DIR"

echo "== $tracks tracks x $clips clips of $seconds s: $("$root/build-bench/bench/project_file_tool" busy "$work/busy.zqp" "$tracks" "$clips" "$seconds")," \
     "file $(( $(stat -c %s "$work/busy.zqp") / 1048576 )) MiB; bench dir $bench"
"$root/build-bench/bench/project_file_tool" busy "$work/empty.zqp" 10000 0 0 >/dev/null

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# The number after `word` on the line that has it.
after() { grep -o "$1 [0-9.]*" | head -1 | awk '{print $2}'; }

open_ms=() open_peak=() close_ms=() teardown_ms=() add_ms=() add_kib=() load_ms=()
for run in $(seq "$runs"); do
  out=$("$bench/media-flow-tool" project-open "$work/busy.zqp" shown 2>"$work/err") \
    || { cat "$work/err" >&2; exit 1; }
  open_ms+=("$(echo "$out" | after 'dialog')")
  open_peak+=("$(echo "$out" | grep -o 'peak [0-9]* MiB from [0-9]*' | awk '{print $2 - $5}')")
  close_ms+=("$(echo "$out" | after 'close')")
  teardown_ms+=("$(echo "$out" | after 'teardown')")
  load_ms+=("$("$bench/project_file_tool" load "$work/busy.zqp" 2>&1 >/dev/null | after load)")
  out=$("$bench/multitrack_bench" --benchmark_filter=BM_AddEmptyTracks 2>/dev/null | grep BM_AddEmptyTracks)
  add_ms+=("$(echo "$out" | awk '{print $2}')")
  add_kib+=("$(echo "$out" | grep -o 'KiB_per_track=[0-9.]*[kM]*' | cut -d= -f2)")
done

show() { printf '%s\n' "${@:2}" | median | xargs printf "$1\n"; }
show "open (after the file dialog, shown window, settled): %.0f ms" "${open_ms[@]}"
show "ProjectFile::load of the same file alone: %.0f ms" "${load_ms[@]}"
show "peak memory the open added: %.0f MiB" "${open_peak[@]}"
show "closing the project: %.1f ms" "${close_ms[@]}"
show "window teardown: %.0f ms" "${teardown_ms[@]}"
show "1000 empty tracks added: %.0f ms" "${add_ms[@]}"
echo "resident memory per empty track: $(printf '%s\n' "${add_kib[@]}" | paste -sd ' ') KiB (runs)"
# Once only: before the limit this took minutes. Refused, the flow tool reports the box it showed.
start=$(date +%s%N)
out=$(/usr/bin/time -f 'peak %M' timeout 300 "$bench/media-flow-tool" project-open "$work/empty.zqp" 2>&1 || true)
echo "10,000 empty tracks: $(( ($(date +%s%N) - start) / 1000000 )) ms for the whole process," \
     "peak $(( $(echo "$out" | after peak) / 1024 )) MiB; $(echo "$out" | grep -E '^(打开|the project)' | head -1)"
