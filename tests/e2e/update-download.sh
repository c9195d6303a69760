#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb as a person would, against a local update server: the
# silent check after start finds nothing and shows nothing; a manual check of a 20 MB
# manifest fails at once with our own words and leaves the window usable; Help → 检查更新
# then finds a newer version with long notes, the update dialog downloads the installer into a download folder that did
# not exist yet, shows "下载完成", and "打开安装包" asks the desktop to open that folder,
# never the installer. A stand-in xdg-open records what the desktop was asked to open.
#
# Usage: update-download.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: update-download.sh PROGRAM [OUTPUT_DIR]}
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-update-shots}
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
server_script=$(dirname "${BASH_SOURCE[0]}")/../support/update_server.py
python=/usr/bin/python3
[[ -x $python ]] || python=python3

# The desktop: the first xdg-open on PATH writes down its arguments and opens nothing.
mkdir -p "$work/bin" "$work/site"
cat >"$work/bin/xdg-open" <<STUB
#!/bin/sh
printf '%s\n' "\$@" >>"$work/opened.txt"
STUB
chmod +x "$work/bin/xdg-open"
export PATH=$work/bin:$PATH
echo "XDG_DOWNLOAD_DIR=\"$work/downloads\"" >"$work/config/user-dirs.dirs"

# 2 MiB of noise as the installer, served by the local update server.
head -c 2097152 /dev/urandom >"$work/site/installer.bin"
"$python" "$server_script" "$work/site" --lifetime 600 >"$work/server.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/server.log ]] && break; sleep 0.1; done
port=$(head -1 "$work/server.log")
[[ $port =~ ^[0-9]+$ ]] || fail "the update server did not start: $(cat "$work/server.log")"
export ZENTRIQ_UPDATE_URL=http://127.0.0.1:$port/update.json
# manifest VERSION [EXTRA_NOTE_LINES]
manifest() {
  local notes='更快的混音导出\n修复了若干问题' i
  for ((i = 1; i <= ${2:-0}; i++)); do notes+="\\n$i. 修复了一个问题"; done
  printf '{"version": "%s", "build": 2, "downloadUrl": "http://127.0.0.1:%s/ZentriqStudio-0.2.0-Setup.exe?file=installer.bin", "releaseNotes": "%s", "fileSize": 2097152}\n' \
    "$1" "$port" "$notes" >"$work/site/update.json"
}

# 1. Up to date at start: the silent check after 3 s shows nothing.
manifest 0.1.0
start_program first
for _ in $(seq 100); do grep -q $'^GET\t/update.json' "$work/server.log" && break; sleep 0.1; done
grep -q $'^GET\t/update.json\tZentriqStudio/0.1.0$' "$work/server.log" || fail "no silent check after start"
sleep 1
for title in '检查更新' '发现新版本'; do
  [[ -z $(xdotool search --onlyvisible --name "$title" 2>/dev/null || true) ]] || fail "the silent check showed '$title'"
done
shot 01-after-silent-check

# 2. A manifest of 20 MB in 1.5 million lines: refused after its first megabyte.
"$python" -c 'import sys; sys.stdout.write("{\"version\": \"0.2.0\", \"releaseNotes\": \"" + "修复问题\\n" * 1500000 + "\"}")' \
  >"$work/site/update.json"
main_keys alt+h
keys u
wait_window '检查更新' >/dev/null
sleep 0.3
shot 02-oversized-manifest
keys Return
wait_gone '检查更新'

# 3. A newer version with long notes, found through the Help menu.
manifest 0.2.0 300
main_keys alt+h
shot 03-help-menu
keys u
dialog=$(wait_window '发现新版本')
sleep 0.5
shot 04-update-dialog

# 4. Download: the focused first button is "立即下载".
keys space
wait_window '下载完成' >/dev/null
sleep 0.3
shot 05-download-done
keys Return
wait_gone '下载完成'
cmp -s "$work/site/installer.bin" "$work/downloads/ZentriqStudio-0.2.0-Setup.exe" \
  || fail "the installer in the download folder differs from the served one"
[[ $(ls -A "$work/downloads") == ZentriqStudio-0.2.0-Setup.exe ]] || fail "other files in the download folder: $(ls -A "$work/downloads")"

# 5. "打开安装包", the first button of the row once the download is done.
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove --sync $((X + 20 + 50)) $((Y + HEIGHT - 20 - 16)) click 1
sleep 1
shot 06-opened
for _ in $(seq 50); do [[ -s $work/opened.txt ]] && break; sleep 0.1; done
[[ -s $work/opened.txt ]] || fail "the desktop was not asked to open anything"
opened=$(cat "$work/opened.txt")
[[ $opened == "file://$work/downloads" || $opened == "$work/downloads" ]] \
  || fail "the desktop was asked to open '$opened', not the download folder"

keys Escape
wait_gone '发现新版本'
quit_program
passed=1
echo "e2e: installer downloaded; the desktop was asked to open $opened"
echo "e2e: screenshots in $shots"
