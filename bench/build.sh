#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Release benchmarks into build-bench/bench/ with ZENTRIQ_JOBS jobs (default: all
# cores), through the compiler cache the test build uses.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${ZENTRIQ_JOBS:-$(nproc)}
"$root/scripts/install-deps.sh"
export CCACHE_DIR=${CCACHE_DIR:-/var/cache/zentriq-ccache}
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZENTRIQ_BUILD_TESTS=OFF -DZENTRIQ_BUILD_BENCH=ON >/dev/null
cmake --build "$root/build-bench" -j "$jobs"
