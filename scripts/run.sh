#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the Release program and starts it.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZENTRIQ_BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
export CCACHE_DIR=${CCACHE_DIR:-/var/cache/zentriq-ccache}
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
mkdir -p "$CCACHE_DIR"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENTRIQ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

# Without a desktop session, show the window on a virtual X display instead.
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run: no display found; starting Xvfb on :99 (screenshot: DISPLAY=:99 import -window root shot.png)"
  Xvfb :99 -screen 0 1920x1080x24 >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  export DISPLAY=:99
  sleep 1
fi
"$build/bin/zentriq-studio" "$@"
