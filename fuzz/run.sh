#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets in their own clang tree and fuzzes one of them, or all one
# after another, for MINUTES minutes each: leak detection on, the project's suppressions,
# seeds from fuzz/corpus/TARGET. What it finds is kept in fuzz/findings/TARGET: new inputs
# in corpus/, crashing or leaking ones beside it. MINUTES 0 replays the seeds once and fails
# when one of them does, as scripts/test.sh does in every full run.
#   fuzz/run.sh TARGET|all MINUTES   (the targets are listed below)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZENTRIQ_FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${ZENTRIQ_JOBS:-$(nproc)}

declare -A executables=(
  [wav]=fuzz_load_wav [mp3]=fuzz_load_mp3 [flac]=fuzz_load_flac [ogg]=fuzz_load_ogg
  [smf]=midi_file_fuzzer [project]=project_loader_fuzzer [instrument]=fuzz_instrument_input
  [video]=video_demuxer_fuzzer [soundfont]=soundfont_fuzzer [live-midi]=live_midi_fuzzer
  [plugin-state]=plugin_state_fuzzer [plugin-scanner]=plugin_scanner_fuzzer
  [embedded-audio]=embedded_audio_fuzzer [manifest]=update_manifest_fuzzer
)
order=(wav mp3 flac ogg smf project instrument video soundfont live-midi plugin-state plugin-scanner
  embedded-audio manifest)
# libFuzzer options per target. FLAC decoding costs time per byte: short inputs keep a run
# fast enough to reach millions of runs, and still hold a header and several frames.
# The plug-in code reports its progress on standard output, line by line.
declare -A options=([flac]=-max_len=1024 [plugin-state]=-close_fd_mask=1 [plugin-scanner]=-close_fd_mask=1)

usage() {
  echo "usage: $0 {${order[*]}|all} MINUTES" | tr ' ' '|' >&2
  exit 2
}
[[ $# -eq 2 && $2 =~ ^[0-9]+$ ]] || usage
if [[ $1 == all ]]; then
  targets=("${order[@]}")
else
  [[ -n ${executables[$1]:-} ]] || usage
  targets=("$1")
fi
minutes=$2

command -v clang++ >/dev/null || { echo "fuzz/run.sh: clang++ is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
export CCACHE_DIR=${CCACHE_DIR:-/var/cache/zentriq-ccache}
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZENTRIQ_FUZZ=ON -DZENTRIQ_BUILD_TESTS=OFF -DZENTRIQ_BUILD_BENCH=OFF >/dev/null
wanted=()
for t in "${targets[@]}"; do wanted+=("${executables[$t]}"); done
cmake --build "$build" -j "$jobs" --target "${wanted[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for t in "${targets[@]}"; do
  program=$build/fuzz/${executables[$t]}
  seeds=$root/fuzz/corpus/$t
  if [[ $minutes -eq 0 ]]; then
    echo "fuzz/run.sh: replaying the $t seeds"
    "$program" ${options[$t]:-} -runs=0 -artifact_prefix="$build/replay-$t-" "$seeds" >"$build/replay-$t.log" 2>&1 || {
      cat "$build/replay-$t.log" >&2
      failed+=("$t")
    }
    continue
  fi
  found=$root/fuzz/findings/$t
  mkdir -p "$found/corpus"
  echo "fuzz/run.sh: fuzzing $t for $minutes min; findings in $found"
  # New inputs go to the first corpus folder; the seeds are only read.
  "$program" ${options[$t]:-} -max_total_time=$((minutes * 60)) -print_final_stats=1 \
    -artifact_prefix="$found/" "$found/corpus" "$seeds" || failed+=("$t")
done

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz/run.sh: failed: ${failed[*]}" >&2
  exit 1
fi
