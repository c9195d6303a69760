#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The full-length loopback recording: 60 s recorded on a private PulseAudio null sink while
# the GUI thread stalls 200 ms every second; the take must equal the played signal. CTest
# runs the same test for a few seconds. Usage: record-minute.sh [build dir with editor_tests]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build-test}
export QT_QPA_PLATFORM=offscreen ZENTRIQ_AUDIO_API=pulse ZENTRIQ_RECORD_SECONDS=60
export LSAN_OPTIONS=suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0
exec "$build/tests/editor/editor_tests" --gtest_filter='*ARecordingLosesNoSampleWhileTheGuiThreadStalls*'
