# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the end-to-end scripts: a private Xvfb display, the program started and quit
# there, windows found and focused with xdotool, screenshots, and clean-up of exactly the
# processes started. Source it after setting `program`, `work` (a fresh folder) and `shots`.

mkdir -p "$shots" "$work"/{config,data,cache,home}

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [[ ${passed:-0} == 1 ]]; then rm -rf "$work"; else echo "e2e: files kept in $work" >&2; fi
}
trap cleanup EXIT

fail() { echo "e2e: FAILED: $*" >&2; shot failure || true; exit 1; }

# A display of our own; -displayfd picks a free number.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -noreset -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 20 display <&"$displayfd" || fail "Xvfb did not start"
export DISPLAY=:$display QT_QPA_PLATFORM=xcb
# libxkbcommon-x11 strndup()s counted atom names that have no terminator: legal, but
# AddressSanitizer's strict string checks report it.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:strict_string_checks=0"
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache

shot() { import -window root "$shots/$1.png"; }

# Waits until a visible window whose name matches $1 exists and gives it the keyboard
# (no window manager runs, so focus is set directly).
wait_window() {
  local id
  for _ in $(seq 150); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 || true)
    if [[ -n $id ]]; then
      xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  fail "no window named '$1'"
}

wait_gone() {
  for _ in $(seq 300); do
    [[ -z $(xdotool search --onlyvisible --name "$1" 2>/dev/null || true) ]] && return 0
    sleep 0.2
  done
  fail "window '$1' stayed open"
}

# The program writes a file after its dialog has closed, on a busy machine seconds later.
wait_file() {
  for _ in $(seq 150); do
    [[ -s $1 ]] && return 0
    sleep 0.2
  done
  fail "$2"
}

# The program reports a step in its log, on a busy machine seconds later.
wait_log() {
  for _ in $(seq 300); do
    grep -q -- "$1" "$log" 2>/dev/null && return 0
    sleep 0.2
  done
  fail "$2"
}

# An export is written after its dialog closes, on a busy machine seconds later: waits until
# the file is there and has stopped growing.
wait_written() {
  local size=-1 now
  for _ in $(seq 600); do
    now=$(stat -c %s "$1" 2>/dev/null || echo 0)
    [[ $now -gt 0 && $now == "$size" ]] && return 0
    size=$now
    sleep 0.5
  done
  fail "$2"
}

# Whether screenshot $1 shows the busy overlay: its arc is some 150 pixels of #60a5fa, a
# colour nothing else on these screens uses.
shows_busy() {
  local pixels
  pixels=$(convert "$1" -fill black +opaque '#60a5fa' -fill white -opaque '#60a5fa' -colorspace gray \
    -format '%[fx:round(mean*w*h)]' info:)
  [[ $pixels -ge 20 ]]
}

# While the busy overlay shows, the program drops every key and click: waits until it has
# been away in two screenshots in a row (a flow that just began may not have painted it yet).
wait_idle() {
  local calm=0
  for _ in $(seq 900); do
    import -window root "$work/idle.png"
    if shows_busy "$work/idle.png"; then
      calm=0
    else
      calm=$((calm + 1))
      [[ $calm -ge 2 ]] && return 0
    fi
    sleep 0.3
  done
  fail "${1:-the program stayed busy}"
}

# The multitrack page's transport buttons and the first track's arm button, in screen pixels
# of the maximised 1920x1080 window.
click_at() { xdotool mousemove "$1" "$2" click 1; sleep 0.3; }
play_button=(146 1030)
stop_button=(232 1030)
record_button=(413 1030)
arm_button=(25 121)

keys() { xdotool key --delay 80 "$@"; sleep 0.3; }
# Keys for the main window once it takes input: with no window manager, focus stays where
# the last dialog left it.
main_keys() { wait_idle; xdotool windowfocus --sync "$main" 2>/dev/null || true; keys "$@"; }

# Types a path into the focused file dialog's name field and confirms it.
answer_file_dialog() {
  wait_window "$1" >/dev/null
  sleep 0.5
  keys ctrl+a
  xdotool type --delay 20 "$2"
  keys Return
  wait_gone "$1"
}

start_program() {
  log=$work/program-$1.log
  "$program" >"$log" 2>&1 &
  program_pid=$!
  pids+=($program_pid)
  main=$(wait_window '^ZentriqStudio$')
  sleep 1
}

quit_program() {
  main_keys ctrl+q
  # Closing with a project open asks whether to save; Return takes the default, Save.
  sleep 0.5
  if [[ -n $(xdotool search --onlyvisible --name '关闭项目' 2>/dev/null || true) ]]; then
    wait_window '关闭项目' >/dev/null
    keys Return
  fi
  for _ in $(seq 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$program_pid" 2>/dev/null && fail "the program did not quit"
  wait "$program_pid" || fail "the program exited with status $?"
}
