#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times saving and reopening a stereo 44.1 kHz single-track project through the main window,
# from the menu action to the file on disk (save) or the window ready (open), against the
# ProjectFile calls alone on the same samples (project_file_tool), alternating, best of $RUNS.
# Prints each side's peak memory over the raw floats the project holds (mono list + interleaved
# stereo list). Usage: bench/app/project-flows.sh [minutes] (default 60). Run bench/build.sh first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bench=$root/build-bench/bench
runs=${RUNS:-3}
minutes=${1:-60}
work=$(mktemp -d /tmp/zentriq-project-flow.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
export XDG_RUNTIME_DIR=$work/runtime && mkdir -m 700 "$XDG_RUNTIME_DIR"

"$bench/project_file_tool" raw "$minutes" "$work"
raw=$(( $(stat -c %s "$work/mono.f32") * 3 ))
echo "== $minutes min stereo 44.1 kHz: raw floats $((raw / 1048576)) MiB (mono + interleaved stereo)"

# "<what> <ms> ..." lines of a command's output; the first number after $2.
field() { grep -E "^$2 " | head -1 | awk '{print $2}'; }
# Peak resident memory of a whole command in MiB.
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1 | awk '{print $1 / 1024}'; }
min() { [ -z "$1" ] && echo "$2" || awk -v a="$1" -v b="$2" 'BEGIN {print (b < a) ? b : a}'; }

flow_save= flow_save_dialog= flow_open= flow_open_dialog= file_save= file_load=
# Each save starts without an old file to replace and without the last run's write-back pending.
fresh() { rm -f "$1" && sync; }
flow_runs() {
  fresh "$work/flow.zqp"
  out=$("$bench/media-flow-tool" project-save "$work" "$work/flow.zqp" 2>/dev/null)
  flow_save=$(min "$flow_save" "$(echo "$out" | field x save)")
  flow_save_dialog=$(min "$flow_save_dialog" "$(echo "$out" | grep -o 'after dialog [0-9.]*' | awk '{print $3}')")
  flow_save_peak=$(echo "$out" | grep -o 'peak [0-9]* MiB from [0-9]*' | awk '{print $2 - $5}')
  out=$("$bench/media-flow-tool" project-open "$work/flow.zqp" 2>/dev/null)
  flow_open=$(min "$flow_open" "$(echo "$out" | field x open)")
  flow_open_dialog=$(min "$flow_open_dialog" "$(echo "$out" | grep -o 'after dialog [0-9.]*' | awk '{print $3}')")
  flow_open_peak=$(echo "$out" | grep -o 'peak [0-9]* MiB from [0-9]*' | awk '{print $2 - $5}')
}
file_runs() {
  fresh "$work/file.zqp"
  file_save=$(min "$file_save" "$("$bench/project_file_tool" save "$work" "$work/file.zqp" 2>&1 | field x save)")
  file_load=$(min "$file_load" "$("$bench/project_file_tool" load "$work/file.zqp" 2>&1 | field x load)")
}
# The side that writes second is slower on this disk, so the order alternates.
for run in $(seq "$runs"); do
  if (( run % 2 )); then flow_runs; file_runs; else file_runs; flow_runs; fi
done
cmp -s "$work/flow.zqp" "$work/file.zqp" && echo "the flow and the file tool wrote the same file" \
  || echo "the files differ (name, track name or colour): $(stat -c %s "$work/flow.zqp" "$work/file.zqp" | paste -sd /) bytes"

report() {  # <what> <flow ms> <flow ms after dialog> <ProjectFile ms>
  awk -v w="$1" -v f="$2" -v d="$3" -v p="$4" 'BEGIN {
    printf "%s: flow %.0f ms (after dialog %.0f ms), ProjectFile %.0f ms, flow adds %+.1f %% (%+.1f %% after dialog)\n",
           w, f, d, p, 100 * (f - p) / p, 100 * (d - p) / p }'
}
report save "$flow_save" "$flow_save_dialog" "$file_save"
report open "$flow_open" "$flow_open_dialog" "$file_load"

ratio() { awk -v m="$1" -v r="$raw" 'BEGIN {printf "%.0f MiB = %.2fx raw", m, m * 1048576 / r}'; }
echo "peak added by the flow over the window before it: save $(ratio "$flow_save_peak"), open $(ratio "$flow_open_peak")"
# The flow tool resets its peak once the project is built, so its figures start at the action.
echo "peak of the process: save flow $(ratio "$(peak "$bench/media-flow-tool" project-save "$work" "$work/flow.zqp")")," \
     "open flow $(ratio "$(peak "$bench/media-flow-tool" project-open "$work/flow.zqp")")," \
     "ProjectFile save $(ratio "$(peak "$bench/project_file_tool" save "$work" "$work/file.zqp")")," \
     "load $(ratio "$(peak "$bench/project_file_tool" load "$work/file.zqp")")"
