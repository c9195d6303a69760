#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Hostile VST3 modules imported through the Tools menu's dialog, as a person would: one whose
# factory crashes and one whose factory never returns. The program must refuse each with a
# "加载失败" box, stay up, and keep drawing while the hanging module is being tried (its busy
# overlay spins); then it quits cleanly.
#
# Usage: plugin-sandbox.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
# ZENTRIQ_HOSTILE_BUNDLES names the folder of the test build's hostile bundles.
set -euo pipefail

program=${1:?usage: plugin-sandbox.sh PROGRAM [OUTPUT_DIR]}
bundles=${ZENTRIQ_HOSTILE_BUNDLES:?the folder of the hostile test bundles}
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

for name in CrashingFactory HangingFactory; do
  [[ -d $bundles/$name.vst3 ]] || fail "the hostile bundle $bundles/$name.vst3 is missing"
done

import_bundle() {
  main_keys alt+t v
  wait_window '导入VST3插件' >/dev/null
  sleep 0.5
  keys ctrl+a
  xdotool type --delay 20 "$1"
  keys Return
  wait_gone '导入VST3插件'
}

# Waits for the refusal box (up to a minute: the hanging module is given 20 s), shows it on
# a screenshot and closes it.
refusal_box() {
  local box=
  for _ in $(seq 300); do
    box=$(xdotool search --onlyvisible --name '^加载失败$' 2>/dev/null | tail -1 || true)
    [[ -n $box ]] && break
    sleep 0.2
  done
  [[ -n $box ]] || fail "no refusal box for $1"
  sleep 0.5
  shot "$2"
  kill -0 "$program_pid" 2>/dev/null || fail "the program died with $1"
  xdotool windowfocus --sync "$box" 2>/dev/null || true
  keys Return
  wait_gone '^加载失败$'
}

start_program sandbox
main_keys ctrl+shift+n
wait_window '新建项目设置' >/dev/null
keys Return
wait_gone '新建项目设置'

import_bundle "$bundles/CrashingFactory.vst3"
refusal_box CrashingFactory 01-crash-refused
grep -q 'VST3 module refused: .*CrashingFactory.vst3 crashed with signal 11' "$log" \
  || fail "the log does not name the crash"

import_bundle "$bundles/HangingFactory.vst3"
# While the module hangs in its child, the window keeps painting: the overlay's arc turns
# between two screenshots. A frozen window would show the same picture for good.
shot 02-hang-probing
turned=0
for _ in $(seq 50); do
  import -window root "$work/again.png"
  if [[ $(compare -metric AE "$shots/02-hang-probing.png" "$work/again.png" null: 2>&1 || true) != 0 ]]; then
    turned=1
    break
  fi
  sleep 0.1
done
[[ $turned == 1 ]] || fail "the window did not repaint while the module was being tried"
refusal_box HangingFactory 03-hang-refused
grep -q 'VST3 module refused: .*HangingFactory.vst3 did not finish within the time limit' "$log" \
  || fail "the log does not name the hang"

quit_program
passed=1
echo "e2e: a crashing and a hanging module were refused with a box; the program stayed up and quit cleanly"
echo "e2e: screenshots in $shots"
