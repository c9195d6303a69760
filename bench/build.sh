#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Release benchmarks into build-bench/bench/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZENTRIQ_BUILD_TESTS=OFF -DZENTRIQ_BUILD_BENCH=ON >/dev/null
cmake --build "$root/build-bench" -j "$(nproc)"
